korvex_test(registry_test LABEL unit
  SOURCES unit/registry_test.cpp LIBS korvex_registry)
korvex_test(minireg_test LABEL unit
  SOURCES unit/minireg_test.cpp LIBS korvex_minireg)
korvex_test(settings_test LABEL unit
  SOURCES unit/settings_test.cpp LIBS korvex_settings)
