korvex_test(engine_frame_test LABEL unit
  SOURCES unit/engine_frame_test.cpp LIBS korvex_engine_core)
korvex_test(engine_cursor_test LABEL unit
  SOURCES unit/engine_cursor_test.cpp LIBS korvex_engine_core)

korvex_test(engine_record_test LABEL x11 TIMEOUT 300
  SOURCES x11/engine_record_test.cpp
  LIBS korvex_engine_host korvex_media_tools korvex_test_support)
korvex_test(engine_catalogue_test LABEL x11
  SOURCES x11/engine_catalogue_test.cpp LIBS korvex_engine)
korvex_test(engine_sound_timing_test LABEL unit
  SOURCES unit/engine_sound_test.cpp LIBS korvex_engine_core korvex_sound)

# Narration with a sound server of the test's own.
korvex_test(engine_sound_test LABEL x11 TIMEOUT 300
  SOURCES x11/engine_sound_test.cpp
  LIBS korvex_engine_host korvex_media_tools korvex_sound_server korvex_test_support)
# Frames from the screen's damage, and the two-thread frame loop under a slow compressor.
korvex_test(engine_damage_test LABEL x11 TIMEOUT 300
  SOURCES x11/engine_damage_test.cpp
  LIBS korvex_engine_host korvex_media_tools korvex_test_support)
korvex_test(engine_live_picture_test LABEL unit
  SOURCES unit/engine_live_picture_test.cpp
  LIBS korvex_engine)
korvex_test(engine_pipeline_test LABEL unit
  SOURCES unit/engine_pipeline_test.cpp
  LIBS korvex_engine_core Threads::Threads)
