# Sources that the kernel classifier plug-ins each compile into their own
# copy: kernel options and names, database checks and the checks of numbers
# held as text (all three); the init file, model loading and saving, kept
# kernel values, the descent loop and the script-function frames (the two
# init-file classifiers, which also compile the L-BFGS direction); and from
# the discriminant plug-ins' shared code, option values and the time text of
# the histories.
set(kernel_classifier_sources
  ${CMAKE_CURRENT_LIST_DIR}/kernel_options.cpp
  ${CMAKE_CURRENT_LIST_DIR}/database_checks.cpp
  ${CMAKE_CURRENT_LIST_DIR}/number_text.cpp
  ${PROJECT_SOURCE_DIR}/plugins/discriminant_common/arguments.cpp
  ${PROJECT_SOURCE_DIR}/plugins/discriminant_common/model_file.cpp)
include(${PROJECT_SOURCE_DIR}/plugins/lbfgs/sources.cmake)
set(init_file_classifier_sources
  ${kernel_classifier_sources}
  ${CMAKE_CURRENT_LIST_DIR}/init_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/model_io.cpp
  ${CMAKE_CURRENT_LIST_DIR}/training_kernel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/descent.cpp
  ${CMAKE_CURRENT_LIST_DIR}/script_flow.cpp
  ${lbfgs_sources})
