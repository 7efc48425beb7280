# Benchmark of the kernel plug-ins' training functions, their sources linked
# into one program (the shared frame once).
include(${PROJECT_SOURCE_DIR}/plugins/kernel_frame/sources.cmake)
set(kernel_plugins ${PROJECT_SOURCE_DIR}/plugins)
add_executable(kernel_bench
  ${CMAKE_CURRENT_LIST_DIR}/kernel_bench.cpp
  ${kernel_plugins}/curvaxis/curvaxis.cpp ${kernel_plugins}/curvaxis/principal_axes.cpp
  ${kernel_plugins}/warpfold/warpfold.cpp ${kernel_plugins}/warpfold/kernel_discriminant.cpp
  ${kernel_plugins}/tessel/tessel.cpp ${kernel_plugins}/tessel/pair_kernel.cpp
  ${kernel_plugins}/unmixer/unmixer.cpp ${kernel_plugins}/unmixer/independent_components.cpp
  ${kernel_frame_sources})
target_include_directories(kernel_bench PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(kernel_bench PRIVATE xml support messages)
set_target_properties(kernel_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
