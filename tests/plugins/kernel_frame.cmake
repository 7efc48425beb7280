# The kernel-model frame's tests, hosted by the curvaxis plug-in's sources,
# and the helpers every kernel plug-in test links.
include(${PROJECT_SOURCE_DIR}/plugins/kernel_frame/sources.cmake)
set(kernel_test_helpers
  ${CMAKE_CURRENT_LIST_DIR}/kernel_test_helpers.cpp
  ${CMAKE_CURRENT_LIST_DIR}/discriminant_test_helpers.cpp)
set(curvaxis_dir ${PROJECT_SOURCE_DIR}/plugins/curvaxis)
set(curvaxis_sources ${curvaxis_dir}/curvaxis.cpp ${curvaxis_dir}/principal_axes.cpp)
add_unit_test(kernel_frame_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/kernel_frame_test.cpp ${kernel_test_helpers}
          ${curvaxis_sources} ${kernel_frame_sources}
  LINKS xml support)
set_tests_properties(kernel_frame_test PROPERTIES TIMEOUT 300)

# End-to-end cases of the kernel plug-ins run with the plug-in folder
# testlibs/kernel: copies of textdata, toolbelt and the kernel plug-ins only,
# so that their output does not depend on the rest of build/libs.
add_plugin_copies(kernel_testlibs DIR kernel
  PLUGINS textdata toolbelt curvaxis tessel unmixer warpfold)
