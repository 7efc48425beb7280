# Kernel discriminant plug-in tests: its sources linked in directly.
include(${PROJECT_SOURCE_DIR}/plugins/kernel_frame/sources.cmake)
set(warpfold_dir ${PROJECT_SOURCE_DIR}/plugins/warpfold)
add_unit_test(warpfold_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/warpfold_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/kernel_test_helpers.cpp
          ${CMAKE_CURRENT_LIST_DIR}/discriminant_test_helpers.cpp
          ${warpfold_dir}/warpfold.cpp ${warpfold_dir}/kernel_discriminant.cpp
          ${kernel_frame_sources}
  LINKS xml support)
set_tests_properties(warpfold_test PROPERTIES TIMEOUT 300)
