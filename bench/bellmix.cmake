# Benchmark of the mixture plug-in: EM passes at two sizes and a whole
# training call, with the plug-in's sources linked in directly.
include(${PROJECT_SOURCE_DIR}/plugins/bellmix/sources.cmake)
add_executable(bellmix_bench ${CMAKE_CURRENT_LIST_DIR}/bellmix_bench.cpp
  ${PROJECT_SOURCE_DIR}/plugins/bellmix/bellmix.cpp ${bellmix_sources})
target_include_directories(bellmix_bench PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(bellmix_bench PRIVATE xml_bellmix support messages)
set_target_properties(bellmix_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
