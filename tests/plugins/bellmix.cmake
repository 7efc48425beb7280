# Mixture plug-in tests: the plug-in's sources linked in directly, with its
# own variant of the XML library.
include(${PROJECT_SOURCE_DIR}/plugins/bellmix/sources.cmake)
add_unit_test(bellmix_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/bellmix_model_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/bellmix_training_test.cpp
          ${PROJECT_SOURCE_DIR}/plugins/bellmix/bellmix.cpp
          ${CMAKE_CURRENT_LIST_DIR}/bellmix_test_helpers.cpp
          ${CMAKE_CURRENT_LIST_DIR}/discriminant_test_helpers.cpp
          ${bellmix_sources}
  LINKS xml_bellmix support)
set_tests_properties(bellmix_test PROPERTIES TIMEOUT 60)

# End-to-end cases run with the plug-in folder testlibs/bellmix: copies of
# textdata, toolbelt and bellmix only.
set(bellmix_dir ${TOOLKIT_TEST_PLUGIN_DIR}/bellmix)
set(bellmix_plugins textdata toolbelt bellmix)
set(bellmix_copies)
set(bellmix_files)
foreach(plugin ${bellmix_plugins})
  list(APPEND bellmix_copies ${bellmix_dir}/${plugin}.so)
  list(APPEND bellmix_files $<TARGET_FILE:${plugin}>)
endforeach()
add_custom_command(
  OUTPUT ${bellmix_copies}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${bellmix_dir}
  COMMAND ${CMAKE_COMMAND} -E copy ${bellmix_files} ${bellmix_dir}
  DEPENDS ${bellmix_plugins} ${bellmix_files})
add_custom_target(bellmix_testlibs ALL DEPENDS ${bellmix_copies})
