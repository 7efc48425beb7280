# Neural network plug-in tests: the plug-in's sources linked in directly.
include(${PROJECT_SOURCE_DIR}/plugins/neurnet/sources.cmake)
add_unit_test(neurnet_math_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/neurnet_math_test.cpp ${neurnet_sources}
  LINKS xml)
set_tests_properties(neurnet_math_test PROPERTIES TIMEOUT 60)
add_unit_test(neurnet_document_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/neurnet_document_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/discriminant_test_helpers.cpp ${neurnet_sources}
  LINKS xml)
set_tests_properties(neurnet_document_test PROPERTIES TIMEOUT 60)

# End-to-end cases run with the plug-in folder testlibs/neurnet: copies of
# textdata, toolbelt and neurnet only.
set(neurnet_case_dir ${TOOLKIT_TEST_PLUGIN_DIR}/neurnet)
set(neurnet_case_plugins textdata toolbelt neurnet)
set(neurnet_case_copies)
set(neurnet_case_files)
foreach(plugin ${neurnet_case_plugins})
  list(APPEND neurnet_case_copies ${neurnet_case_dir}/${plugin}.so)
  list(APPEND neurnet_case_files $<TARGET_FILE:${plugin}>)
endforeach()
add_custom_command(
  OUTPUT ${neurnet_case_copies}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${neurnet_case_dir}
  COMMAND ${CMAKE_COMMAND} -E copy ${neurnet_case_files} ${neurnet_case_dir}
  DEPENDS ${neurnet_case_plugins} ${neurnet_case_files})
add_custom_target(neurnet_testlibs ALL DEPENDS ${neurnet_case_copies})
