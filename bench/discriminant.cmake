# Benchmark of the linear discriminant training functions, both plug-ins'
# sources linked into one program (their shared code once).
include(${PROJECT_SOURCE_DIR}/plugins/discriminant_common/sources.cmake)
set(disc_plugins ${PROJECT_SOURCE_DIR}/plugins)
add_executable(discriminant_bench
  ${CMAKE_CURRENT_LIST_DIR}/discriminant_bench.cpp
  ${disc_plugins}/flatdisc/flatdisc.cpp ${disc_plugins}/flatdisc/scatter.cpp
  ${disc_plugins}/flatdisc/transform.cpp
  ${disc_plugins}/groupfold/groupfold.cpp ${disc_plugins}/groupfold/pair_scatter.cpp
  ${disc_plugins}/groupfold/transform.cpp
  ${discriminant_common_sources})
target_include_directories(discriminant_bench PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(discriminant_bench PRIVATE xml support messages)
set_target_properties(discriminant_bench PROPERTIES
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
