korvex_test(platform_files_test LABEL unit
  SOURCES unit/platform_files_test.cpp LIBS korvex_files korvex_library)
target_compile_definitions(platform_files_test PRIVATE
  KORVEX_HOOKLIB_FILE="$<TARGET_FILE:korvex_hooklib>" KORVEX_7Z_ENGINE="${KORVEX_7Z_ENGINE}")
add_dependencies(platform_files_test korvex_hooklib)
# Loading the hook library creates its shared block, which the hook tests own.
set_tests_properties(platform_files_test PROPERTIES RESOURCE_LOCK korvex_hook_shared)
korvex_test(platform_msgbox_test LABEL unit
  SOURCES unit/platform_msgbox_test.cpp LIBS korvex_msgbox)
