# The ZIP component and the ZIP reader, checked with unzip, zip and Python's zipfile.
korvex_test(archive_zip_test LABEL unit
  SOURCES unit/archive_zip_test.cpp unit/archive_extract_test.cpp
  LIBS korvex_archive_zip korvex_media_tools)
