#!/usr/bin/env bash
# Cross-builds the Windows programs with mingw-w64, for both architectures:
#   bash scripts/build-windows.sh          build-win64/ (x86_64) and build-win32/ (i686)
#   bash scripts/build-windows.sh --test   the same, then the Windows tests under Wine (x86_64)
# This machine's kernel runs no 32-bit programs: the i686 build is compiled, linked and the
# machine type in its PE header is checked, and its tests are built but not run.
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
run_tests=false
[[ "${1:-}" == "--test" ]] && run_tests=true

# The COFF machine field of a PE file: 0x8664 for x86_64, 0x14c for i386.
pe_machine() {
  python3 - "$1" <<'PY'
import struct, sys
data = open(sys.argv[1], 'rb').read(4096)
if data[:2] != b'MZ':
    sys.exit('not an MZ file: ' + sys.argv[1])
pe = struct.unpack_from('<I', data, 0x3C)[0]
if data[pe:pe + 4] != b'PE\0\0':
    sys.exit('no PE header: ' + sys.argv[1])
print(hex(struct.unpack_from('<H', data, pe + 4)[0]))
PY
}

# The type library is written from the member tables by a program of the native build (a cross
# build cannot run what it builds): the Linux build in BUILD_DIR (default build/) writes the IDL,
# made here first when that build has not written it yet.
native="${BUILD_DIR:-$repo/build}"
idl="$native/typelib/Quern0102.idl"
if [[ ! -f "$idl" ]]; then
  cmake -S "$repo" -B "$native" -G Ninja >/dev/null
  cmake --build "$native" -t quern0102_typelib
fi

build() {
  local arch="$1" folder="$2" machine="$3"
  cmake -S "$repo" -B "$repo/$folder" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-w64-$arch.cmake" -DQUERN_TYPELIB_IDL="$idl" \
    -DORVANEL_WERROR=ON >/dev/null
  cmake --build "$repo/$folder" -j2
  local program="$repo/$folder/bin/Sweepwell.exe"
  local found
  found="$(pe_machine "$program")"
  if [[ "$found" != "$machine" ]]; then
    echo "$program: PE machine $found, expected $machine" >&2
    exit 1
  fi
  echo "$program: PE machine $found ($arch)"
}

build x86_64 build-win64 0x8664
build i686 build-win32 0x14c

if $run_tests; then
  ctest --test-dir "$repo/build-win64" --output-on-failure
fi
