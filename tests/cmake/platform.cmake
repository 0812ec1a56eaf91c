korvex_test(platform_files_test LABEL unit
  SOURCES unit/platform_files_test.cpp LIBS korvex_files)
korvex_test(platform_msgbox_test LABEL unit
  SOURCES unit/platform_msgbox_test.cpp LIBS korvex_msgbox)
