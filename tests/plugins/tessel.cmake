# Class-pair kernel discriminant plug-in tests: its sources linked in directly.
include(${PROJECT_SOURCE_DIR}/plugins/kernel_frame/sources.cmake)
add_unit_test(tessel_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tessel_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/kernel_test_helpers.cpp
          ${CMAKE_CURRENT_LIST_DIR}/discriminant_test_helpers.cpp
          ${PROJECT_SOURCE_DIR}/plugins/tessel/tessel.cpp
          ${PROJECT_SOURCE_DIR}/plugins/tessel/pair_kernel.cpp ${kernel_frame_sources}
  LINKS xml support)
set_tests_properties(tessel_test PROPERTIES TIMEOUT 300)
