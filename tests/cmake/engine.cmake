korvex_test(engine_frame_test LABEL unit
  SOURCES unit/engine_frame_test.cpp LIBS korvex_engine_core)
korvex_test(engine_cursor_test LABEL unit
  SOURCES unit/engine_cursor_test.cpp LIBS korvex_engine_core)
