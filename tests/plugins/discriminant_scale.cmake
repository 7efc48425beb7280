# Both linear discriminant plug-ins' sources in one program, on scaled data.
include(${PROJECT_SOURCE_DIR}/plugins/discriminant_common/sources.cmake)
set(scale_plugins ${PROJECT_SOURCE_DIR}/plugins)
add_unit_test(discriminant_scale_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/discriminant_scale_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/discriminant_test_helpers.cpp
          ${scale_plugins}/flatdisc/flatdisc.cpp ${scale_plugins}/flatdisc/scatter.cpp
          ${scale_plugins}/flatdisc/transform.cpp
          ${scale_plugins}/groupfold/groupfold.cpp ${scale_plugins}/groupfold/pair_scatter.cpp
          ${scale_plugins}/groupfold/transform.cpp ${discriminant_common_sources}
  LINKS xml support)
target_compile_definitions(discriminant_scale_test PRIVATE
  TOOLKIT_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
set_tests_properties(discriminant_scale_test PROPERTIES TIMEOUT 300)
