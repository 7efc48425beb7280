# XML model-file benchmark: build, save, reopen and read back N rows.
add_executable(xml_bench ${CMAKE_CURRENT_LIST_DIR}/xml_bench.cpp)
target_link_libraries(xml_bench PRIVATE xml)
set_target_properties(xml_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
