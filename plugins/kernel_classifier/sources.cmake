# Sources that the kernel classifier plug-ins each compile into their own
# copy: kernel options and names, database checks; and from the discriminant
# plug-ins' shared code, option values and the time text of the histories.
set(kernel_classifier_sources
  ${CMAKE_CURRENT_LIST_DIR}/kernel_options.cpp
  ${CMAKE_CURRENT_LIST_DIR}/database_checks.cpp
  ${PROJECT_SOURCE_DIR}/plugins/discriminant_common/arguments.cpp
  ${PROJECT_SOURCE_DIR}/plugins/discriminant_common/model_file.cpp)
