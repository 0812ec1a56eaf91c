korvex_test(dialogs_rules_test LABEL unit
  SOURCES unit/dialogs_rules_test.cpp LIBS korvex_dialogs_core korvex_resources)

korvex_test(dialogs_options_test LABEL x11
  SOURCES x11/dialogs_options_test.cpp LIBS korvex_dialogs)

korvex_test(dialogs_e2e_test LABEL e2e TIMEOUT 300
  SOURCES e2e/dialogs_e2e_test.cpp LIBS korvex_test_program korvex_minireg korvex_sound_server)
add_dependencies(dialogs_e2e_test korvex)
