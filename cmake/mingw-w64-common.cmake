# Shared by the two Windows toolchain files: cross-compiling with Debian's mingw-w64 (posix
# thread model, so std::thread and std::mutex work), linked statically so that each .exe runs
# with nothing but the system's own DLLs beside it (under Wine too).
#
# The including file sets MINGW_TRIPLE (x86_64-w64-mingw32 or i686-w64-mingw32).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every program carries its C++ runtime and winpthread inside itself.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")

# Builds share the compiler cache with the Linux ones.
find_program(MINGW_CCACHE ccache)
if(MINGW_CCACHE AND NOT CMAKE_CXX_COMPILER_LAUNCHER)
  set(CMAKE_CXX_COMPILER_LAUNCHER ${MINGW_CCACHE})
  set(CMAKE_C_COMPILER_LAUNCHER ${MINGW_CCACHE})
endif()
