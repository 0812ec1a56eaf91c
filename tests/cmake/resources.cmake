# The built-in resources and the hook library they carry.
korvex_test(resources_test LABEL unit
  SOURCES unit/resources_test.cpp
  LIBS korvex_resources Qt6::Gui ${CMAKE_DL_LIBS})
target_compile_definitions(resources_test PRIVATE
  KORVEX_HOOKLIB_FILE="$<TARGET_FILE:korvex_hooklib>"
  KORVEX_7Z_ENGINE="${KORVEX_7Z_ENGINE}")
# The committed artwork is checked against what the generator draws.
add_dependencies(resources_test make-artwork)

korvex_test(hooklib_test LABEL unit
  SOURCES unit/hooklib_test.cpp
  LIBS korvex_test_hooklib)
target_compile_definitions(hooklib_test PRIVATE KORVEX_HOOKLIB_FILE="$<TARGET_FILE:korvex_hooklib>")
add_dependencies(hooklib_test korvex_hooklib)

# The observers on a display of their own, driven with xdotool.
korvex_test(hooklib_observer_test LABEL x11 TIMEOUT 300
  SOURCES x11/hooklib_observer_test.cpp
  LIBS korvex_test_hooklib korvex_test_support)
target_compile_definitions(hooklib_observer_test PRIVATE
  KORVEX_HOOKLIB_FILE="$<TARGET_FILE:korvex_hooklib>")
add_dependencies(hooklib_observer_test korvex_hooklib)

# All load the library, which opens the one shared block of the machine: never at the same time.
set_tests_properties(resources_test hooklib_test hooklib_observer_test
  PROPERTIES RESOURCE_LOCK korvex_hook_shared)
