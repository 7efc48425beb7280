# Least-squares machine tests: the plug-in's sources linked in directly.
include(${PROJECT_SOURCE_DIR}/plugins/kernel_classifier/sources.cmake)
set(squaremark_dir ${PROJECT_SOURCE_DIR}/plugins/squaremark)
add_unit_test(squaremark_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/squaremark_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/discriminant_test_helpers.cpp
          ${CMAKE_CURRENT_LIST_DIR}/kernel_classifier_test_helpers.cpp
          ${PROJECT_SOURCE_DIR}/tests/support/reference.cpp
          ${squaremark_dir}/squaremark.cpp ${squaremark_dir}/settings.cpp
          ${squaremark_dir}/training.cpp ${squaremark_dir}/solve.cpp
          ${squaremark_dir}/model_file.cpp ${kernel_classifier_sources}
  LINKS xml support)
set_tests_properties(squaremark_test PROPERTIES TIMEOUT 300)

# End-to-end cases of the three kernel classifiers run with the plug-in
# folder testlibs/kernel_classifiers: copies of textdata, toolbelt and the
# three classifiers only.
add_plugin_copies(kernel_classifier_testlibs DIR kernel_classifiers
  PLUGINS textdata toolbelt edgemark glidemark squaremark)
