# Benchmark of the projection pursuit fitting steps and training call.
include(${PROJECT_SOURCE_DIR}/plugins/pathlet/sources.cmake)
add_executable(pathlet_bench ${CMAKE_CURRENT_LIST_DIR}/pathlet_bench.cpp ${pathlet_sources})
target_include_directories(pathlet_bench PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(pathlet_bench PRIVATE xml support messages)
set_target_properties(pathlet_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
