# Linear discriminant plug-in tests: the plug-in's sources linked in directly.
include(${PROJECT_SOURCE_DIR}/plugins/discriminant_common/sources.cmake)
set(flatdisc_dir ${PROJECT_SOURCE_DIR}/plugins/flatdisc)
add_unit_test(flatdisc_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/flatdisc_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/discriminant_test_helpers.cpp
          ${flatdisc_dir}/flatdisc.cpp ${flatdisc_dir}/scatter.cpp ${flatdisc_dir}/transform.cpp
          ${discriminant_common_sources}
  LINKS xml support)
set_tests_properties(flatdisc_test PROPERTIES TIMEOUT 300)

# End-to-end cases of both discriminant plug-ins run with the plug-in folder
# testlibs/discriminant: copies of textdata, toolbelt, flatdisc and groupfold
# only, so that their output does not depend on the rest of build/libs.
add_plugin_copies(discriminant_testlibs DIR discriminant
  PLUGINS textdata toolbelt flatdisc groupfold)
