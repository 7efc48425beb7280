# Least-squares machine tests: the plug-in's sources linked in directly.
include(${PROJECT_SOURCE_DIR}/plugins/kernel_classifier/sources.cmake)
set(squaremark_dir ${PROJECT_SOURCE_DIR}/plugins/squaremark)
add_unit_test(squaremark_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/squaremark_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/discriminant_test_helpers.cpp
          ${squaremark_dir}/squaremark.cpp ${squaremark_dir}/settings.cpp
          ${squaremark_dir}/training.cpp ${squaremark_dir}/solve.cpp
          ${squaremark_dir}/model_file.cpp ${kernel_classifier_sources}
  LINKS xml support)
set_tests_properties(squaremark_test PROPERTIES TIMEOUT 60)

# End-to-end cases of the three kernel classifiers run with the plug-in
# folder testlibs/kernel_classifiers: copies of textdata, toolbelt and the
# three classifiers only.
set(classifier_case_dir ${TOOLKIT_TEST_PLUGIN_DIR}/kernel_classifiers)
set(classifier_case_plugins textdata toolbelt edgemark glidemark squaremark)
set(classifier_case_copies)
set(classifier_case_files)
foreach(plugin ${classifier_case_plugins})
  list(APPEND classifier_case_copies ${classifier_case_dir}/${plugin}.so)
  list(APPEND classifier_case_files $<TARGET_FILE:${plugin}>)
endforeach()
add_custom_command(
  OUTPUT ${classifier_case_copies}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${classifier_case_dir}
  COMMAND ${CMAKE_COMMAND} -E copy ${classifier_case_files} ${classifier_case_dir}
  DEPENDS ${classifier_case_plugins} ${classifier_case_files})
add_custom_target(kernel_classifier_testlibs ALL DEPENDS ${classifier_case_copies})
