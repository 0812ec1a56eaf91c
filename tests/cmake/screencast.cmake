# The ScreenCast back end that the session tests give the real portal front end.
add_executable(korvex_test_screencast_backend session/screencast_backend.cpp)
target_link_libraries(korvex_test_screencast_backend PRIVATE Qt6::DBus)

# The session tests share one session: bus, PipeWire, WirePlumber, back end and portal.
# Run inside the session, which the script makes and ends.
add_executable(screencast_e2e_test session/screencast_e2e_test.cpp)
target_link_libraries(screencast_e2e_test PRIVATE GTest::gtest_main korvex_e2e_session
  korvex_screencast_monitor)
set_target_properties(screencast_e2e_test PROPERTIES AUTOMOC OFF)
add_test(NAME screencast_e2e_test
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/session/with-screencast-session
    $<TARGET_FILE:korvex_test_screencast_backend> -- $<TARGET_FILE:screencast_e2e_test>)
set_tests_properties(screencast_e2e_test PROPERTIES LABELS "e2e;session" TIMEOUT 600
  ENVIRONMENT "KORVEX_SOURCE_DIR=${PROJECT_SOURCE_DIR};KORVEX_BUILD_DIR=${PROJECT_BINARY_DIR}")
add_dependencies(screencast_e2e_test korvex korvex_test_screencast_backend)

# The recorder's damage from the stream, at the engine, inside a session of its own.
add_executable(screencast_damage_test session/screencast_damage_test.cpp)
target_link_libraries(screencast_damage_test PRIVATE GTest::gtest korvex_engine_host
  korvex_portal_capture korvex_screencast_monitor)
set_target_properties(screencast_damage_test PROPERTIES AUTOMOC OFF)
add_test(NAME screencast_damage_test
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/session/with-screencast-session
    $<TARGET_FILE:korvex_test_screencast_backend> -- $<TARGET_FILE:screencast_damage_test>)
set_tests_properties(screencast_damage_test PROPERTIES LABELS "session" TIMEOUT 300)
add_dependencies(screencast_damage_test korvex_test_screencast_backend)

korvex_test(screencast_test LABEL unit
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/unit/screencast_test.cpp LIBS korvex_screencast_rules)
korvex_test(toggle_test LABEL unit
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/unit/toggle_test.cpp LIBS korvex_toggle)
