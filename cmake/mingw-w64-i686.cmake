# 32-bit Windows (i686) with mingw-w64:
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake -S . -B build-win32 -G Ninja
# This machine's kernel runs no 32-bit programs, so this build is compiled and linked and its
# PE headers are checked (scripts/build-windows.sh); it has no emulator and runs no tests.
set(MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
# SSE2, as every Windows since 8 requires of its processor: the text conversions use it.
set(CMAKE_CXX_FLAGS_INIT "-msse2")
