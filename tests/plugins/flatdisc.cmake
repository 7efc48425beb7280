# Linear discriminant plug-in tests: the plug-in's sources linked in directly.
include(${PROJECT_SOURCE_DIR}/plugins/discriminant_common/sources.cmake)
set(flatdisc_dir ${PROJECT_SOURCE_DIR}/plugins/flatdisc)
add_unit_test(flatdisc_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/flatdisc_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/discriminant_test_helpers.cpp
          ${flatdisc_dir}/flatdisc.cpp ${flatdisc_dir}/scatter.cpp ${flatdisc_dir}/transform.cpp
          ${discriminant_common_sources}
  LINKS xml support)
set_tests_properties(flatdisc_test PROPERTIES TIMEOUT 60)

# End-to-end cases of both discriminant plug-ins run with the plug-in folder
# testlibs/discriminant: copies of textdata, toolbelt, flatdisc and groupfold
# only, so that their output does not depend on the rest of build/libs.
set(disc_dir ${TOOLKIT_TEST_PLUGIN_DIR}/discriminant)
set(disc_plugins textdata toolbelt flatdisc groupfold)
set(disc_copies)
set(disc_files)
foreach(plugin ${disc_plugins})
  list(APPEND disc_copies ${disc_dir}/${plugin}.so)
  list(APPEND disc_files $<TARGET_FILE:${plugin}>)
endforeach()
add_custom_command(
  OUTPUT ${disc_copies}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${disc_dir}
  COMMAND ${CMAKE_COMMAND} -E copy ${disc_files} ${disc_dir}
  DEPENDS ${disc_plugins} ${disc_files})
add_custom_target(discriminant_testlibs ALL DEPENDS ${disc_copies})
