# The built-in resources and the hook library they carry.
korvex_test(resources_test LABEL unit
  SOURCES unit/resources_test.cpp
  LIBS korvex_resources Qt6::Gui ${CMAKE_DL_LIBS})
target_compile_definitions(resources_test PRIVATE
  KORVEX_HOOKLIB_FILE="$<TARGET_FILE:korvex_hooklib>"
  KORVEX_7Z_ENGINE="${KORVEX_7Z_ENGINE}")

korvex_test(hooklib_test LABEL unit
  SOURCES unit/hooklib_test.cpp
  LIBS ${CMAKE_DL_LIBS})
target_compile_definitions(hooklib_test PRIVATE KORVEX_HOOKLIB_FILE="$<TARGET_FILE:korvex_hooklib>")
add_dependencies(hooklib_test korvex_hooklib)

# Both load the library, which opens the one shared block of the machine: never at the same time.
set_tests_properties(resources_test hooklib_test PROPERTIES RESOURCE_LOCK korvex_hook_shared)
