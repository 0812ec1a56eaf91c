# The archive commands without their window, over archives made by zip and 7z.
korvex_test(archive_workflow_test LABEL unit
  SOURCES unit/archive_workflow_test.cpp
  LIBS korvex_archive_workflow korvex_media_tools)
target_compile_definitions(archive_workflow_test PRIVATE
  KORVEX_7Z_ENGINE="${KORVEX_7Z_ENGINE}")

korvex_test(app_archives_test LABEL e2e TIMEOUT 300
  SOURCES e2e/app_archives_test.cpp
  LIBS korvex_test_program korvex_minireg Qt6::Gui PkgConfig::XCB)
add_dependencies(app_archives_test korvex)
