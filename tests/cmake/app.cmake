korvex_test(app_videonames_test LABEL unit
  SOURCES unit/app_videonames_test.cpp LIBS korvex_app_core korvex_videolist)
korvex_test(app_hookmessages_test LABEL unit
  SOURCES unit/app_hookmessages_test.cpp LIBS korvex_app_core)
korvex_test(app_catalogue_test LABEL unit
  SOURCES unit/app_catalogue_test.cpp LIBS korvex_app_core)
korvex_test(app_recording_control_test LABEL unit
  SOURCES unit/app_recording_control_test.cpp LIBS korvex_app_core)

korvex_test(app_start_test LABEL e2e TIMEOUT 300
  SOURCES e2e/app_start_test.cpp LIBS korvex_test_program)
add_dependencies(app_start_test korvex)

# The program driven as a user drives it, shared by the end-to-end tests.
add_library(korvex_e2e_session STATIC ${CMAKE_CURRENT_SOURCE_DIR}/e2e/session.cpp)
target_link_libraries(korvex_e2e_session PUBLIC korvex_test_program GTest::gtest)
set_target_properties(korvex_e2e_session PROPERTIES AUTOMOC OFF)

korvex_test(app_recording_test LABEL e2e TIMEOUT 600
  SOURCES e2e/app_recording_test.cpp
  LIBS korvex_e2e_session korvex_minireg avifile_test_support)
add_dependencies(app_recording_test korvex)
target_compile_definitions(app_start_test PRIVATE
  KORVEX_HOOKLIB_FILE="$<TARGET_FILE:korvex_hooklib>")

korvex_test(app_dpi_test LABEL e2e TIMEOUT 300
  SOURCES e2e/app_dpi_test.cpp LIBS korvex_test_program)
add_dependencies(app_dpi_test korvex)

# Clicks and keys in the video, and the hook library's file.
korvex_test(app_marks_test LABEL e2e TIMEOUT 600
  SOURCES e2e/app_marks_test.cpp LIBS korvex_e2e_session korvex_test_support korvex_minireg)
target_compile_definitions(app_marks_test PRIVATE
  KORVEX_FAKE_HOOKLIB_FILE="$<TARGET_FILE:korvex_test_fakehook>")
add_dependencies(app_marks_test korvex korvex_test_fakehook)

# What ./run.sh does on a machine without a display.
add_test(NAME app_headless_demo_test
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/e2e/headless_demo_test.sh ${PROJECT_SOURCE_DIR})
set_tests_properties(app_headless_demo_test PROPERTIES LABELS e2e TIMEOUT 300
  ENVIRONMENT "KORVEX_BUILD_DIR=${PROJECT_BINARY_DIR}")
