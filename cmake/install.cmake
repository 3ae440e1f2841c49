# Installing: the versioned library with run paths relative to the installed files, the
# pkg-config file and the CMake package of libquern0102.so, and the material beside the program
# (licence, examples, shell completion, scheduling examples). Included at the end of the
# top-level CMakeLists.txt, once every target exists.
include(CMakePackageConfigHelpers)

# libquern0102.so.1 is both the SONAME and the file itself, with libquern0102.so linking to it:
# the component mechanism registers the file it was loaded from, and a path ending in the
# SONAME stays valid across compatible updates of the library. The number changes when the
# exported C++ interface (exports.map) changes incompatibly.
set(QUERN_SOVERSION 1)
set_target_properties(quern0102 PROPERTIES VERSION ${QUERN_SOVERSION} SOVERSION ${QUERN_SOVERSION})
add_library(Quern0102::quern0102 ALIAS quern0102)

# `$ORIGIN` run path from an installed folder (relative to the prefix) to the library folder,
# so that an install works from any prefix and after the whole tree is moved.
function(orvanel_run_path_to_libdir target installed_folder)
  file(RELATIVE_PATH to_libdir "/prefix/${installed_folder}" "/prefix/${CMAKE_INSTALL_LIBDIR}")
  if(to_libdir STREQUAL "")
    set(to_libdir ".")
  endif()
  set_target_properties(${target} PROPERTIES INSTALL_RPATH "\$ORIGIN/${to_libdir}")
endfunction()
if(TARGET _quern)
  orvanel_run_path_to_libdir(_quern "${QUERN_PYTHON_DIR}")
endif()

# The program links none of our shared libraries; it loads libquern0102.so.1 through the component
# mechanism, which also looks in the library folder as seen from the program's own folder.
file(RELATIVE_PATH ORVANEL_LIBDIR_FROM_BINDIR "/prefix/${CMAKE_INSTALL_BINDIR}"
     "/prefix/${CMAKE_INSTALL_LIBDIR}")
target_compile_definitions(automation PRIVATE
  ORVANEL_LIBRARY_FOLDER_FROM_PROGRAM="${ORVANEL_LIBDIR_FROM_BINDIR}"
  ORVANEL_COMPONENT_SOVERSION="${QUERN_SOVERSION}")

# --- C++ clients: pkg-config and find_package ------------------------------------------------
set(QUERN_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Quern0102)
install(EXPORT Quern0102Targets NAMESPACE Quern0102:: DESTINATION ${QUERN_CMAKE_DIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/Quern0102Config.cmake.in
  ${CMAKE_BINARY_DIR}/Quern0102Config.cmake INSTALL_DESTINATION ${QUERN_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/Quern0102ConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/Quern0102Config.cmake ${CMAKE_BINARY_DIR}/Quern0102ConfigVersion.cmake
        DESTINATION ${QUERN_CMAKE_DIR})

file(RELATIVE_PATH QUERN_PC_TO_PREFIX "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
string(REGEX REPLACE "/$" "" QUERN_PC_TO_PREFIX "${QUERN_PC_TO_PREFIX}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/quern0102.pc.in ${CMAKE_BINARY_DIR}/quern0102.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/quern0102.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# An install into a temporary prefix, used by C++ clients (pkg-config, find_package) and by the
# Python interpreter the module was built for (tests/install). Needs the whole build. Not in a
# sanitizer build: its library cannot be loaded by uninstrumented clients and interpreters, and
# these tests check installing, not the code.
if(ORVANEL_TESTS AND TARGET _quern AND NOT CMAKE_CROSSCOMPILING AND NOT ORVANEL_SANITIZE)
  add_test(NAME install
           COMMAND bash ${PROJECT_SOURCE_DIR}/tests/install/install_test.sh ${CMAKE_BINARY_DIR}
                   ${CMAKE_INSTALL_LIBDIR} ${QUERN_PYTHON_DIR} ${Python3_EXECUTABLE}
                   ${CMAKE_CXX_COMPILER})
  set_tests_properties(install PROPERTIES TIMEOUT 300)
endif()

# pip install --no-build-isolation of the source tree into a venv (setup.py), offline.
if(ORVANEL_TESTS AND TARGET _quern AND NOT CMAKE_CROSSCOMPILING AND NOT ORVANEL_SANITIZE)
  execute_process(COMMAND ${Python3_EXECUTABLE} -c "import ensurepip, setuptools, venv, wheel"
                  RESULT_VARIABLE quern_pip_tools ERROR_QUIET OUTPUT_QUIET)
  if(quern_pip_tools EQUAL 0)
    add_test(NAME pip_install
             COMMAND bash ${PROJECT_SOURCE_DIR}/tests/install/pip_test.sh ${PROJECT_SOURCE_DIR}
                     ${CMAKE_BINARY_DIR}-pip ${Python3_EXECUTABLE} ${ORVANEL_WERROR}
                     "${CMAKE_CXX_COMPILER_LAUNCHER}")
    set_tests_properties(pip_install PROPERTIES TIMEOUT 1800 LABELS package)
  endif()
endif()
