# Strict readers of numeric model-file attributes, compiled into the own copy
# of each plug-in that reads its model files with them (bellmix, pathlet).
set(model_attributes_sources
  ${CMAKE_CURRENT_LIST_DIR}/attribute_numbers.cpp)
