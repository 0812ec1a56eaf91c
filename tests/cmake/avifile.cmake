# The AVI writer: byte layout, call semantics, and what ffprobe and ffmpeg make of the files.
add_library(avifile_test_support STATIC ${CMAKE_CURRENT_SOURCE_DIR}/unit/avifile_test_support.cpp)
target_link_libraries(avifile_test_support PUBLIC korvex_avifile)

korvex_test(avifile_test LABEL unit
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/unit/avifile_layout_test.cpp
          ${CMAKE_CURRENT_SOURCE_DIR}/unit/avifile_players_test.cpp
          ${CMAKE_CURRENT_SOURCE_DIR}/unit/avifile_kill_test.cpp
          ${CMAKE_CURRENT_SOURCE_DIR}/unit/avifile_sound_test.cpp
  LIBS avifile_test_support)

# Writes and reads back more than 1 GiB under TMPDIR.
korvex_test(avifile_large_test LABEL unit
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/unit/avifile_large_test.cpp
  LIBS avifile_test_support
  TIMEOUT 900)
