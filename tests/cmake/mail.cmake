korvex_test(mail_test LABEL unit
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/unit/mail_test.cpp LIBS korvex_mail)

korvex_test(mail_xdg_test LABEL x11 TIMEOUT 240
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/x11/mail_xdg_test.cpp LIBS korvex_mail korvex_test_program)
