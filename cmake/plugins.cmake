# add_plugin(<name> SOURCES ... [LINKS ...]): a plug-in <name>.so in
# build/libs, with its own copies of the console messages and of whatever it
# links, bound to its own symbols (-Bsymbolic).
function(add_plugin name)
  cmake_parse_arguments(P "" "" "SOURCES;LINKS" ${ARGN})
  add_library(${name} MODULE ${P_SOURCES})
  set_target_properties(${name} PROPERTIES
    PREFIX "" SUFFIX ".so"
    LIBRARY_OUTPUT_DIRECTORY ${TOOLKIT_PLUGIN_DIR})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${P_LINKS} messages)
  target_link_options(${name} PRIVATE -Wl,-Bsymbolic
    -Wl,--version-script=${PROJECT_SOURCE_DIR}/cmake/plugin_exports.map)
  set_property(TARGET ${name} APPEND PROPERTY LINK_DEPENDS
    ${PROJECT_SOURCE_DIR}/cmake/plugin_exports.map)
  if(NOT TOOLKIT_SANITIZE AND NOT TOOLKIT_FUZZ)
    target_link_options(${name} PRIVATE -Wl,--no-undefined)
  endif()
endfunction()

# add_test_plugin(<name> DIR <subdir> SOURCES ... [LINKS ...] [OUTPUT <file>]):
# a plug-in used only by tests, placed in build/testlibs/<subdir>.
function(add_test_plugin name)
  cmake_parse_arguments(P "" "DIR;OUTPUT" "SOURCES;LINKS" ${ARGN})
  add_library(${name} MODULE ${P_SOURCES})
  if(NOT P_OUTPUT)
    set(P_OUTPUT ${name})
  endif()
  set_target_properties(${name} PROPERTIES
    PREFIX "" SUFFIX ".so" OUTPUT_NAME ${P_OUTPUT}
    LIBRARY_OUTPUT_DIRECTORY ${TOOLKIT_TEST_PLUGIN_DIR}/${P_DIR})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${P_LINKS} messages)
  target_link_options(${name} PRIVATE -Wl,-Bsymbolic)
endfunction()

# add_unit_test(<name> SOURCES ... [LINKS ...]): a GoogleTest program run by ctest.
function(add_unit_test name)
  cmake_parse_arguments(P "" "" "SOURCES;LINKS" ${ARGN})
  add_executable(${name} ${P_SOURCES})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${P_LINKS} messages GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT 300)
endfunction()

# add_plugin_copies(<target> DIR <subdir> PLUGINS ...): a plug-in folder
# build/testlibs/<subdir> holding copies of the named plug-ins only, kept up
# to date by <target> (built by default), so that end-to-end cases run with it
# do not depend on which other plug-ins build/libs holds.
function(add_plugin_copies target)
  cmake_parse_arguments(P "" "DIR" "PLUGINS" ${ARGN})
  set(dir ${TOOLKIT_TEST_PLUGIN_DIR}/${P_DIR})
  set(copies)
  set(files)
  foreach(plugin ${P_PLUGINS})
    list(APPEND copies ${dir}/${plugin}.so)
    list(APPEND files $<TARGET_FILE:${plugin}>)
  endforeach()
  add_custom_command(
    OUTPUT ${copies}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
    COMMAND ${CMAKE_COMMAND} -E copy ${files} ${dir}
    DEPENDS ${P_PLUGINS} ${files})
  add_custom_target(${target} ALL DEPENDS ${copies})
endfunction()
