# Mixture plug-in tests: the plug-in's sources linked in directly, with its
# own variant of the XML library.
include(${PROJECT_SOURCE_DIR}/plugins/bellmix/sources.cmake)
add_unit_test(bellmix_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/bellmix_model_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/bellmix_training_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/bellmix_values_test.cpp
          ${PROJECT_SOURCE_DIR}/plugins/bellmix/bellmix.cpp
          ${CMAKE_CURRENT_LIST_DIR}/bellmix_test_helpers.cpp
          ${PROJECT_SOURCE_DIR}/tests/support/reference.cpp
          ${CMAKE_CURRENT_LIST_DIR}/discriminant_test_helpers.cpp
          ${bellmix_sources}
  LINKS xml_bellmix support)
set_tests_properties(bellmix_test PROPERTIES TIMEOUT 300)

# End-to-end cases run with the plug-in folder testlibs/bellmix: copies of
# textdata, toolbelt and bellmix only.
add_plugin_copies(bellmix_testlibs DIR bellmix
  PLUGINS textdata toolbelt bellmix)
