# Kernel principal component plug-in tests: its sources linked in directly.
include(${PROJECT_SOURCE_DIR}/plugins/kernel_frame/sources.cmake)
add_unit_test(curvaxis_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/curvaxis_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/kernel_test_helpers.cpp
          ${CMAKE_CURRENT_LIST_DIR}/discriminant_test_helpers.cpp
          ${PROJECT_SOURCE_DIR}/plugins/curvaxis/curvaxis.cpp
          ${PROJECT_SOURCE_DIR}/plugins/curvaxis/principal_axes.cpp
          ${kernel_frame_sources}
  LINKS xml support)
set_tests_properties(curvaxis_test PROPERTIES TIMEOUT 300)
