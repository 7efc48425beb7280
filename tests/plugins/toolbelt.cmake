# toolbelt: the formatter is linked in directly; the script functions are
# reached through the built plug-in, since an executable that defined `write`
# would take the C library's name for itself.
add_unit_test(toolbelt_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/toolbelt_test.cpp
          ${PROJECT_SOURCE_DIR}/plugins/toolbelt/format.cpp
  LINKS ${CMAKE_DL_LIBS})
target_compile_definitions(toolbelt_test PRIVATE TOOLBELT_PLUGIN="$<TARGET_FILE:toolbelt>")
add_dependencies(toolbelt_test toolbelt)

# End-to-end cases run with the plug-in folder testlibs/tools, which holds
# copies of toolbelt and textdata only, so their output does not depend on
# which other plug-ins build/libs holds.
add_plugin_copies(tools_testlibs DIR tools PLUGINS toolbelt textdata)
