# Kernel independent component plug-in tests: its sources linked in directly.
include(${PROJECT_SOURCE_DIR}/plugins/kernel_frame/sources.cmake)
add_unit_test(unmixer_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/unmixer_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/kernel_test_helpers.cpp
          ${CMAKE_CURRENT_LIST_DIR}/discriminant_test_helpers.cpp
          ${PROJECT_SOURCE_DIR}/plugins/unmixer/unmixer.cpp
          ${PROJECT_SOURCE_DIR}/plugins/unmixer/independent_components.cpp
          ${kernel_frame_sources}
  LINKS xml support)
set_tests_properties(unmixer_test PROPERTIES TIMEOUT 300)
