# The codec stand-in: DIB conversions, the libavcodec-backed drivers, and the about box.
korvex_test(vfw_convert_test LABEL unit
  SOURCES unit/vfw_convert_test.cpp
  LIBS korvex_vfw)
korvex_test(vfw_msvc_test LABEL unit
  SOURCES unit/vfw_msvc_test.cpp
  LIBS korvex_vfw PkgConfig::LIBAV)
