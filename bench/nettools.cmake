# Network trainer: samples per second of one epoch in each sampling order.
add_executable(nettools_bench ${CMAKE_CURRENT_LIST_DIR}/nettools_bench.cpp)
target_link_libraries(nettools_bench PRIVATE nettools_training)
set_target_properties(nettools_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
