# Symmetric eigen routines on centred kernel matrices at three sizes.
add_executable(eigen_bench ${CMAKE_CURRENT_LIST_DIR}/eigen_bench.cpp)
target_link_libraries(eigen_bench PRIVATE support)
set_target_properties(eigen_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
