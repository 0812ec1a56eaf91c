# Every fuzz target for a short, bounded run, built with clang in a build folder of its own.
add_test(NAME fuzz_short
  COMMAND ${PROJECT_SOURCE_DIR}/scripts/fuzz --runs 1000 --build-dir ${PROJECT_BINARY_DIR}/fuzz)
set_tests_properties(fuzz_short PROPERTIES LABELS unit TIMEOUT 900
  ENVIRONMENT_MODIFICATION "DISPLAY=unset:")
