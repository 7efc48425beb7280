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

# End-to-end cases run with the plug-in folder testlibs/squaremark: copies of
# textdata, toolbelt and squaremark only.
set(squaremark_test_dir ${TOOLKIT_TEST_PLUGIN_DIR}/squaremark)
set(squaremark_test_plugins textdata toolbelt squaremark)
set(squaremark_copies)
set(squaremark_files)
foreach(plugin ${squaremark_test_plugins})
  list(APPEND squaremark_copies ${squaremark_test_dir}/${plugin}.so)
  list(APPEND squaremark_files $<TARGET_FILE:${plugin}>)
endforeach()
add_custom_command(
  OUTPUT ${squaremark_copies}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${squaremark_test_dir}
  COMMAND ${CMAKE_COMMAND} -E copy ${squaremark_files} ${squaremark_test_dir}
  DEPENDS ${squaremark_test_plugins} ${squaremark_files})
add_custom_target(squaremark_testlibs ALL DEPENDS ${squaremark_copies})
