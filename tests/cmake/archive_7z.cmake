# The 7z bridge over the real 7-Zip engine, checked with the 7z program.
set(sevenzip_engine "KORVEX_7Z_ENGINE=\"${KORVEX_7Z_ENGINE}\"")

korvex_test(sevenzip_test LABEL unit
  SOURCES unit/sevenzip_test.cpp unit/sevenzip_streams_test.cpp
  LIBS korvex_archive_7z korvex_media_tools)
target_compile_definitions(sevenzip_test PRIVATE ${sevenzip_engine})

# Damaged archives under AddressSanitizer and LeakSanitizer: the bridge is built again with them.
get_target_property(sevenzip_sources korvex_archive_7z SOURCES)
list(TRANSFORM sevenzip_sources PREPEND ${PROJECT_SOURCE_DIR}/archive/)
korvex_test(sevenzip_damage_test LABEL unit
  SOURCES unit/sevenzip_damage_test.cpp ${sevenzip_sources}
  LIBS korvex_files korvex_library korvex_recording_name)
target_compile_definitions(sevenzip_damage_test PRIVATE ${sevenzip_engine})
target_compile_options(sevenzip_damage_test PRIVATE -fsanitize=address -fno-omit-frame-pointer)
target_link_options(sevenzip_damage_test PRIVATE -fsanitize=address)
set_property(TEST sevenzip_damage_test APPEND PROPERTY ENVIRONMENT
  "ASAN_OPTIONS=detect_leaks=1:abort_on_error=1")
