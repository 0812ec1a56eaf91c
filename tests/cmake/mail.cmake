korvex_test(mail_test LABEL unit
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/unit/mail_test.cpp LIBS korvex_mail)
