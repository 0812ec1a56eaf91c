# Read by cpack (CPACK_PROJECT_CONFIG_FILE): the package's library dependencies as dpkg-shlibdeps
# finds them in the program and in the two libraries that it carries inside itself and loads at
# run time, which a look at the program alone would miss. Expects korvex_binaries and
# korvex_shlibdeps_dir.
if(CPACK_GENERATOR STREQUAL "DEB")
  # dpkg-shlibdeps wants to run in a source package; an empty control file is enough.
  file(MAKE_DIRECTORY ${korvex_shlibdeps_dir}/debian)
  file(TOUCH ${korvex_shlibdeps_dir}/debian/control)
  execute_process(COMMAND dpkg-shlibdeps -O ${korvex_binaries}
    WORKING_DIRECTORY ${korvex_shlibdeps_dir}
    RESULT_VARIABLE status OUTPUT_VARIABLE found ERROR_VARIABLE complaints
    OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT status EQUAL 0 OR NOT found MATCHES "^shlibs:Depends=")
    message(FATAL_ERROR "dpkg-shlibdeps failed on ${korvex_binaries}:\n${complaints}")
  endif()
  string(REGEX REPLACE "^shlibs:Depends=" "" libraries "${found}")
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "${CPACK_DEBIAN_PACKAGE_DEPENDS}, ${libraries}")
endif()
