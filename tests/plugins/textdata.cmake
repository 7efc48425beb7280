# textdata: the plug-in's sources are linked into the test.
add_unit_test(textdata_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/textdata_test.cpp
          ${PROJECT_SOURCE_DIR}/plugins/textdata/textdata.cpp
          ${PROJECT_SOURCE_DIR}/plugins/textdata/reader.cpp)
