# Projection pursuit plug-in tests: the plug-in's sources linked in directly.
include(${PROJECT_SOURCE_DIR}/plugins/pathlet/sources.cmake)
add_unit_test(pathlet_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/pathlet_model_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/pathlet_fitting_test.cpp
          ${PROJECT_SOURCE_DIR}/tests/support/reference.cpp
          ${CMAKE_CURRENT_LIST_DIR}/pathlet_script_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/pathlet_values_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/discriminant_test_helpers.cpp
          ${pathlet_sources}
  LINKS xml support)
set_tests_properties(pathlet_test PROPERTIES TIMEOUT 300)

# End-to-end cases run with the plug-in folder testlibs/pathlet: copies of
# textdata, toolbelt and pathlet only, so that their output does not depend
# on the rest of build/libs.
add_plugin_copies(pathlet_testlibs DIR pathlet
  PLUGINS textdata toolbelt pathlet)
