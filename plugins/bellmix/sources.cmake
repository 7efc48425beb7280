# The plug-in's model code, also compiled into its tests and benchmark.
include(${CMAKE_CURRENT_LIST_DIR}/../model_attributes/sources.cmake)
set(bellmix_sources
  ${CMAKE_CURRENT_LIST_DIR}/arguments.cpp
  ${CMAKE_CURRENT_LIST_DIR}/class_training.cpp
  ${CMAKE_CURRENT_LIST_DIR}/em.cpp
  ${CMAKE_CURRENT_LIST_DIR}/kmeans.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mixture_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mixture_model.cpp
  ${CMAKE_CURRENT_LIST_DIR}/model_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/rbf_network.cpp
  ${CMAKE_CURRENT_LIST_DIR}/rbf_weights.cpp
  ${CMAKE_CURRENT_LIST_DIR}/testing.cpp
  ${CMAKE_CURRENT_LIST_DIR}/training.cpp
  ${model_attributes_sources})
