# Exponential-loss classifier tests (with the init-file classifiers' shared
# code): the plug-in's sources linked in directly.
include(${PROJECT_SOURCE_DIR}/plugins/kernel_classifier/sources.cmake)
set(edgemark_dir ${PROJECT_SOURCE_DIR}/plugins/edgemark)
add_unit_test(edgemark_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/edgemark_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/kernel_classifier_test_helpers.cpp
          ${CMAKE_CURRENT_LIST_DIR}/discriminant_test_helpers.cpp
          ${edgemark_dir}/edgemark.cpp ${edgemark_dir}/exp_loss.cpp
          ${edgemark_dir}/model.cpp
          ${init_file_classifier_sources}
  LINKS xml support)
set_tests_properties(edgemark_test PROPERTIES TIMEOUT 300)
