# The Debian package `sweepwell`, made by CPack from an install in the Debian layout:
#   cmake -S . -B build-deb -G Ninja -DCMAKE_INSTALL_PREFIX=/usr && cmake --build build-deb &&
#   (cd build-deb && cpack -G DEB)
# One package holds the program, libquern0102, its headers, pkg-config file and CMake package,
# the Python module, the manuals, the examples and the bash completion: the library is loaded by
# its unversioned name through the component mechanism, so the libquern0102.so link is part of
# the run time here, not of a separate -dev package.
# Checked by tests/package/package_test.sh (dpkg-deb -c, lintian).
if(WIN32)
  return()  # a Debian package only; the Windows build is packaged its own way
endif()

set(SWEEPWELL_MAINTAINER "Greyfen Works <packages@greyfen.works>"
    CACHE STRING "The Maintainer field of the Debian package")

# Debian's changelog and copyright files (/usr/share/doc/sweepwell); the changelog entry is
# dated by the last commit when there is one, so the same sources give the same package.
set(SWEEPWELL_DEB_VERSION "${PROJECT_VERSION}-1")
find_package(Git QUIET)
if(GIT_FOUND)
  execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%cD
                  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE SWEEPWELL_CHANGELOG_DATE
                  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
if(NOT SWEEPWELL_CHANGELOG_DATE)
  string(TIMESTAMP SWEEPWELL_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
endif()
configure_file(${PROJECT_SOURCE_DIR}/packaging/debian/changelog.in
               ${CMAKE_BINARY_DIR}/packaging/changelog.Debian @ONLY)
find_program(GZIP_EXECUTABLE gzip)
if(GZIP_EXECUTABLE)
  execute_process(COMMAND ${GZIP_EXECUTABLE} -9nf ${CMAKE_BINARY_DIR}/packaging/changelog.Debian)
  install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.Debian.gz
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/sweepwell)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/packaging/debian/copyright
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/sweepwell)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME sweepwell)
set(CPACK_PACKAGE_VENDOR "Greyfen Works")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${SWEEPWELL_MAINTAINER}")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "script-driven disk cleaner for the terminal")
# CPack puts the summary first and indents every line of this under it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Sweepwell carries out a cleaning script: temporary files by mask, caches by
age, empty folders, folder links and whole build trees, one line per file on
the screen and in a monthly log, ending with totals of what was removed. Files
go to the freedesktop.org trash by default, so a run can be undone.

The package also holds Quern0102, the file library Sweepwell uses: text files
in any encoding, file descriptions, streams, version resources of Windows
executables and a folder search, for C++ (libquern0102, pkg-config and CMake)
and for Python 3 (the module quern).")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${SWEEPWELL_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Libraries through dpkg-shlibdeps; the Python module is built for one minor version of the
# interpreter (its file name carries the ABI), so it depends on that version range.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS
    ${CMAKE_BINARY_DIR}/_CPack_Packages/Linux/DEB/${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-Linux${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR})
math(EXPR python_next_minor "${QUERN_PYTHON_VERSION_MINOR} + 1")
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "python3 (>= ${QUERN_PYTHON_VERSION_MAJOR}.${QUERN_PYTHON_VERSION_MINOR}~), python3 (<< ${QUERN_PYTHON_VERSION_MAJOR}.${python_next_minor})")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "trash-cli")
# Our own shlibs and an ldconfig trigger, rather than CPack's shlibs with maintainer scripts
# that call ldconfig themselves, which Debian no longer wants.
configure_file(${PROJECT_SOURCE_DIR}/packaging/debian/shlibs.in
               ${CMAKE_BINARY_DIR}/packaging/shlibs @ONLY)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/packaging/shlibs
    ${PROJECT_SOURCE_DIR}/packaging/debian/triggers)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)

# lintian warnings left on purpose:
# - link-to-shared-library-in-wrong-package, package-name-doesnt-match-sonames: one package
#   holds the library with its unversioned link, since components are loaded by that name;
#   splitting out libquern0102-1 and -dev packages would make the program depend on a -dev.
# - maintscript-calls-ldconfig: CPack 3.25 always writes postinst/postrm calling ldconfig for a
#   library under /usr/lib; the ldconfig trigger (packaging/debian/triggers) is there as well.
# - initial-upload-closes-no-bugs: the package is built from the project, not uploaded to the
#   archive; the test suppresses it.
if(ORVANEL_TESTS)
  find_program(LINTIAN lintian)
  find_program(DPKG_DEB dpkg-deb)
  find_program(DPKG_SHLIBDEPS dpkg-shlibdeps)
  # Not from a sanitizer build: the package is built in a tree of its own either way.
  if(LINTIAN AND DPKG_DEB AND DPKG_SHLIBDEPS AND NOT CMAKE_CROSSCOMPILING AND NOT ORVANEL_SANITIZE)
    add_test(NAME debian_package
             COMMAND bash ${PROJECT_SOURCE_DIR}/tests/package/package_test.sh ${PROJECT_SOURCE_DIR}
                     ${CMAKE_BINARY_DIR}-deb ${ORVANEL_WERROR} "${CMAKE_CXX_COMPILER_LAUNCHER}")
    set_tests_properties(debian_package PROPERTIES TIMEOUT 1800 LABELS package)
  endif()
endif()
