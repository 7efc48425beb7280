# Smooth support vector machine tests: the plug-in's sources linked in directly.
include(${PROJECT_SOURCE_DIR}/plugins/kernel_classifier/sources.cmake)
set(glidemark_dir ${PROJECT_SOURCE_DIR}/plugins/glidemark)
add_unit_test(glidemark_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/glidemark_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/kernel_classifier_test_helpers.cpp
          ${CMAKE_CURRENT_LIST_DIR}/discriminant_test_helpers.cpp
          ${glidemark_dir}/glidemark.cpp ${glidemark_dir}/smooth_svm.cpp
          ${glidemark_dir}/model.cpp
          ${init_file_classifier_sources}
  LINKS xml support)
set_tests_properties(glidemark_test PROPERTIES TIMEOUT 300)
