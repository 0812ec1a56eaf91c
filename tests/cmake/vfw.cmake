# The codec stand-in: DIB conversions, the libavcodec-backed drivers, and their about box.
korvex_test(vfw_convert_test LABEL unit
  SOURCES unit/vfw_convert_test.cpp
  LIBS korvex_vfw)
korvex_test(vfw_msvc_test LABEL unit
  SOURCES unit/vfw_msvc_test.cpp
  LIBS korvex_vfw PkgConfig::LIBAV)
# Qt's offscreen platform shows the box without a display.
korvex_test(vfw_about_test LABEL unit TIMEOUT 60
  SOURCES unit/vfw_about_test.cpp
  LIBS korvex_aboutbox Qt6::Widgets PkgConfig::LIBAV ZLIB::ZLIB)
korvex_test(vfw_codecs_test LABEL unit TIMEOUT 300
  SOURCES unit/vfw_codecs_test.cpp
  LIBS korvex_vfw PkgConfig::LIBAV)
# The AVI writer's files of every codec, read by ffprobe and ffmpeg.
korvex_test(vfw_avi_test LABEL unit TIMEOUT 300
  SOURCES unit/vfw_avi_test.cpp
  LIBS korvex_avifile korvex_media_tools PkgConfig::LIBAV)
# Every codec recorded through the engine on the display.
korvex_test(vfw_codecs_record_test LABEL x11 TIMEOUT 300
  SOURCES x11/vfw_codecs_record_test.cpp
  LIBS korvex_engine_host korvex_media_tools)
# Our screen encoders on their own, and the same tests over them built with AddressSanitizer and
# UndefinedBehaviorSanitizer.
korvex_test(vfw_screen_encoders_test LABEL unit
  SOURCES unit/vfw_screen_encoders_test.cpp
  LIBS korvex_vfw PkgConfig::LIBAV)
korvex_test(vfw_screen_encoders_sanitized_test LABEL unit TIMEOUT 300
  SOURCES unit/vfw_screen_encoders_test.cpp ${PROJECT_SOURCE_DIR}/platform/vfw/msvc_encoder.cpp
    ${PROJECT_SOURCE_DIR}/platform/vfw/zmbv_encoder.cpp
    ${PROJECT_SOURCE_DIR}/platform/vfw/dib_convert.cpp
    ${PROJECT_SOURCE_DIR}/platform/vfw/changed_rows.cpp
  LIBS korvex_multimedia PkgConfig::LIBAV ZLIB::ZLIB)
target_compile_options(vfw_screen_encoders_sanitized_test PRIVATE
  -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
target_link_options(vfw_screen_encoders_sanitized_test PRIVATE -fsanitize=address,undefined)
# Frames compressed with their changed rows named, against whole ones.
korvex_test(vfw_changed_rows_test LABEL unit
  SOURCES unit/vfw_changed_rows_test.cpp
  LIBS korvex_vfw)
