# The plug-in's sources, listed once for the plug-in, its tests and its benchmark.
include(${CMAKE_CURRENT_LIST_DIR}/../model_attributes/sources.cmake)
set(pathlet_sources
  ${CMAKE_CURRENT_LIST_DIR}/pathlet.cpp
  ${CMAKE_CURRENT_LIST_DIR}/projection_model.cpp
  ${CMAKE_CURRENT_LIST_DIR}/model_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/fitting.cpp
  ${CMAKE_CURRENT_LIST_DIR}/training.cpp
  ${CMAKE_CURRENT_LIST_DIR}/settings.cpp
  ${model_attributes_sources})
