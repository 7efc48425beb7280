# Numeric support: kernel matrices and eigen routines at three sizes each.
add_executable(support_bench ${CMAKE_CURRENT_LIST_DIR}/support_bench.cpp)
target_link_libraries(support_bench PRIVATE support)
set_target_properties(support_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
