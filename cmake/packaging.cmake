# The Debian packages are made by the source package in debian/ (debhelper over this CMake
# build): sweepwell, libquern0102-1, libquern0102-dev and python3-quern.
#   dpkg-buildpackage -us -uc -b     (from a copy of the tree: it writes ../*.deb)
# tests/package/package_test.sh builds them that way in BUILD-deb/ (a folder of its own beside
# the build tree) and checks them: contents, dependencies, symbols, lintian, and the installed
# packages at work until a purge leaves nothing.
if(WIN32)
  return()
endif()

if(ORVANEL_TESTS)
  find_program(DPKG_BUILDPACKAGE dpkg-buildpackage)
  find_program(DH dh)
  find_program(DH_PYTHON3 dh_python3)
  find_program(LINTIAN lintian)
  # Not from a sanitizer build or a cross build: the packages are built in a tree of their own.
  if(DPKG_BUILDPACKAGE AND DH AND DH_PYTHON3 AND LINTIAN AND NOT CMAKE_CROSSCOMPILING
     AND NOT ORVANEL_SANITIZE)
    add_test(NAME debian_package
             COMMAND bash ${PROJECT_SOURCE_DIR}/tests/package/package_test.sh ${PROJECT_SOURCE_DIR}
                     ${CMAKE_BINARY_DIR}-deb "${CMAKE_CXX_COMPILER_LAUNCHER}")
    set_tests_properties(debian_package PROPERTIES TIMEOUT 1800 LABELS package RUN_SERIAL ON)
  endif()
endif()
