# Kernel classifiers' training at three sizes, through the built plug-ins
# (run with the plug-in names to time, default all three).
add_executable(kernel_classifiers_bench ${CMAKE_CURRENT_LIST_DIR}/kernel_classifiers_bench.cpp)
target_include_directories(kernel_classifiers_bench PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_definitions(kernel_classifiers_bench PRIVATE
  BENCH_PLUGIN_DIR="${TOOLKIT_PLUGIN_DIR}")
target_link_libraries(kernel_classifiers_bench PRIVATE ${CMAKE_DL_LIBS})
set_target_properties(kernel_classifiers_bench PROPERTIES
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
