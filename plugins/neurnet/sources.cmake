# The plug-in's sources with its own copies of the two-loop L-BFGS direction
# and of the 15-bit generator and matrix records; tests and the benchmark compile the same list.
include(${CMAKE_CURRENT_LIST_DIR}/../lbfgs/sources.cmake)
set(neurnet_sources
  ${CMAKE_CURRENT_LIST_DIR}/neurnet.cpp
  ${CMAKE_CURRENT_LIST_DIR}/attributes.cpp
  ${CMAKE_CURRENT_LIST_DIR}/network.cpp
  ${CMAKE_CURRENT_LIST_DIR}/network_document.cpp
  ${CMAKE_CURRENT_LIST_DIR}/error_functions.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gradient.cpp
  ${CMAKE_CURRENT_LIST_DIR}/conjgrad.cpp
  ${CMAKE_CURRENT_LIST_DIR}/lbfgs_mx_repr.cpp
  ${CMAKE_CURRENT_LIST_DIR}/line_search.cpp
  ${CMAKE_CURRENT_LIST_DIR}/training.cpp
  ${CMAKE_CURRENT_LIST_DIR}/init_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/settings_reader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/races.cpp
  ${PROJECT_SOURCE_DIR}/support/random.cpp
  ${PROJECT_SOURCE_DIR}/support/matrix.cpp
  ${lbfgs_sources})
