# The ScreenCast back end that the session tests give the real portal front end.
add_executable(korvex_test_screencast_backend session/screencast_backend.cpp)
target_link_libraries(korvex_test_screencast_backend PRIVATE Qt6::DBus)
