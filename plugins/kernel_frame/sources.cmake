# Sources that warpfold, unmixer, tessel and curvaxis each compile into their
# own copy: the kernel-model frame.
set(kernel_frame_sources
  ${CMAKE_CURRENT_LIST_DIR}/settings.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gram.cpp
  ${CMAKE_CURRENT_LIST_DIR}/directions.cpp
  ${CMAKE_CURRENT_LIST_DIR}/training.cpp
  ${CMAKE_CURRENT_LIST_DIR}/model_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/projection.cpp)
