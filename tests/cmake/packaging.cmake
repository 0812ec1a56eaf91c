korvex_test(packaging_install_test LABEL unit
  SOURCES unit/packaging_install_test.cpp LIBS korvex_media_tools)
add_dependencies(packaging_install_test korvex korvex_packaging_docs)

korvex_test(packaging_deb_test LABEL e2e TIMEOUT 600
  SOURCES e2e/packaging_deb_test.cpp LIBS korvex_test_program)
add_dependencies(packaging_deb_test korvex korvex_packaging_docs)
