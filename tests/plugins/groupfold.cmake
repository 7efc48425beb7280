# Pair-weighted discriminant plug-in tests: the plug-in's sources linked in directly.
include(${PROJECT_SOURCE_DIR}/plugins/discriminant_common/sources.cmake)
set(groupfold_dir ${PROJECT_SOURCE_DIR}/plugins/groupfold)
add_unit_test(groupfold_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/groupfold_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/groupfold_orthogonality_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/discriminant_test_helpers.cpp
          ${groupfold_dir}/groupfold.cpp ${groupfold_dir}/pair_scatter.cpp
          ${groupfold_dir}/transform.cpp ${discriminant_common_sources}
  LINKS xml support)
target_compile_definitions(groupfold_test PRIVATE TOOLKIT_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
set_tests_properties(groupfold_test PROPERTIES TIMEOUT 300)
