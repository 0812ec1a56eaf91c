korvex_test(region_hittest_test LABEL unit
  SOURCES unit/region_hittest_test.cpp unit/region_targetrules_test.cpp LIBS korvex_region_core)

# The target window picker with windows of other programs, through the real program.
korvex_test(region_picker_test LABEL e2e TIMEOUT 600
  SOURCES e2e/region_picker_test.cpp LIBS korvex_e2e_session korvex_test_support)
add_dependencies(region_picker_test korvex)

korvex_test(region_drag_test LABEL x11 SOURCES x11/region_drag_test.cpp LIBS korvex_region)
