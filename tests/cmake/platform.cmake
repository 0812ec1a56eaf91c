korvex_test(platform_files_test LABEL unit
  SOURCES unit/platform_files_test.cpp LIBS korvex_files korvex_library)
target_compile_definitions(platform_files_test PRIVATE
  KORVEX_HOOKLIB_FILE="$<TARGET_FILE:korvex_hooklib>" KORVEX_7Z_ENGINE="${KORVEX_7Z_ENGINE}")
add_dependencies(platform_files_test korvex_hooklib)
# Loading the hook library creates its shared block, which the hook tests own.
set_tests_properties(platform_files_test PROPERTIES RESOURCE_LOCK korvex_hook_shared)
korvex_test(platform_msgbox_test LABEL unit
  SOURCES unit/platform_msgbox_test.cpp LIBS korvex_msgbox)

# The key state with the hook library's messages, on a display of its own.
korvex_test(platform_keys_test LABEL x11 TIMEOUT 120
  SOURCES x11/platform_keys_test.cpp
  LIBS korvex_keys korvex_test_hooklib korvex_test_support Qt6::Gui)
target_compile_definitions(platform_keys_test PRIVATE
  KORVEX_HOOKLIB_FILE="$<TARGET_FILE:korvex_hooklib>")
add_dependencies(platform_keys_test korvex_hooklib)
set_tests_properties(platform_keys_test PROPERTIES RESOURCE_LOCK korvex_hook_shared)

# The window list needs the window manager of scripts/with-display.
korvex_test(platform_windows_test LABEL x11 TIMEOUT 120
  SOURCES x11/platform_windows_test.cpp
  LIBS korvex_windows korvex_test_support)
