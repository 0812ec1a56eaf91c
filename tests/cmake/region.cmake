korvex_test(region_hittest_test LABEL unit
  SOURCES unit/region_hittest_test.cpp unit/region_targetrules_test.cpp LIBS korvex_region_core)
