korvex_test(app_catalogue_test LABEL unit
  SOURCES unit/app_catalogue_test.cpp LIBS korvex_app_core)
