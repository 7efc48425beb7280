# Training steps of the neural network plug-in on a 64-73-10 network.
include(${PROJECT_SOURCE_DIR}/plugins/neurnet/sources.cmake)
add_executable(neurnet_bench ${CMAKE_CURRENT_LIST_DIR}/neurnet_bench.cpp ${neurnet_sources})
target_include_directories(neurnet_bench PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(neurnet_bench PRIVATE xml messages)
set_target_properties(neurnet_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)

# NEURNETEvaluate of [2, 5, K] networks: the load of a wide layer.
add_executable(neurnet_load_bench ${CMAKE_CURRENT_LIST_DIR}/neurnet_load_bench.cpp ${neurnet_sources})
target_include_directories(neurnet_load_bench PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(neurnet_load_bench PRIVATE xml messages)
set_target_properties(neurnet_load_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
