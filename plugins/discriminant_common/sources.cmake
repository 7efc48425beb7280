# Sources that flatdisc and groupfold each compile into their own copy.
set(discriminant_common_sources
  ${CMAKE_CURRENT_LIST_DIR}/arguments.cpp
  ${CMAKE_CURRENT_LIST_DIR}/execute.cpp
  ${CMAKE_CURRENT_LIST_DIR}/model_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/unit_scale.cpp)
