# Neural network plug-in tests: the plug-in's sources linked in directly.
include(${PROJECT_SOURCE_DIR}/plugins/neurnet/sources.cmake)
add_unit_test(neurnet_math_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/neurnet_math_test.cpp ${neurnet_sources}
  LINKS xml)
set_tests_properties(neurnet_math_test PROPERTIES TIMEOUT 300)
add_unit_test(neurnet_document_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/neurnet_document_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/discriminant_test_helpers.cpp ${neurnet_sources}
  LINKS xml)
set_tests_properties(neurnet_document_test PROPERTIES TIMEOUT 300)

# End-to-end cases run with the plug-in folder testlibs/neurnet: copies of
# textdata, toolbelt and neurnet only.
add_plugin_copies(neurnet_testlibs DIR neurnet
  PLUGINS textdata toolbelt neurnet)
