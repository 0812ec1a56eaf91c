korvex_test(screen_dib_test LABEL unit
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/unit/screen_dib_test.cpp
  LIBS korvex_screen_dib)

korvex_test(screen_test LABEL x11 TIMEOUT 300
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/x11/screen_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/x11/screen_pointer_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/x11/screen_ffmpeg_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/x11/screen_grab.cpp
  LIBS korvex_screen korvex_test_support)
