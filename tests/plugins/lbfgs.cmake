# The two-loop L-BFGS direction against a dense BFGS recursion.
include(${PROJECT_SOURCE_DIR}/plugins/lbfgs/sources.cmake)
add_unit_test(lbfgs_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/lbfgs_test.cpp ${lbfgs_sources})
set_tests_properties(lbfgs_test PROPERTIES TIMEOUT 300)
