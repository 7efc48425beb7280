# Projection pursuit plug-in tests: the plug-in's sources linked in directly.
include(${PROJECT_SOURCE_DIR}/plugins/pathlet/sources.cmake)
add_unit_test(pathlet_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/pathlet_model_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/pathlet_fitting_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/pathlet_script_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/discriminant_test_helpers.cpp
          ${pathlet_sources}
  LINKS xml support)
set_tests_properties(pathlet_test PROPERTIES TIMEOUT 60)

# End-to-end cases run with the plug-in folder testlibs/pathlet: copies of
# textdata, toolbelt and pathlet only, so that their output does not depend
# on the rest of build/libs.
set(pathlet_case_dir ${TOOLKIT_TEST_PLUGIN_DIR}/pathlet)
set(pathlet_case_plugins textdata toolbelt pathlet)
set(pathlet_case_copies)
set(pathlet_case_files)
foreach(plugin ${pathlet_case_plugins})
  list(APPEND pathlet_case_copies ${pathlet_case_dir}/${plugin}.so)
  list(APPEND pathlet_case_files $<TARGET_FILE:${plugin}>)
endforeach()
add_custom_command(
  OUTPUT ${pathlet_case_copies}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${pathlet_case_dir}
  COMMAND ${CMAKE_COMMAND} -E copy ${pathlet_case_files} ${pathlet_case_dir}
  DEPENDS ${pathlet_case_plugins} ${pathlet_case_files})
add_custom_target(pathlet_testlibs ALL DEPENDS ${pathlet_case_copies})
