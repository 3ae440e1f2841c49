#!/usr/bin/env bash
# Quern0102.dll under Wine, in one throwaway prefix and one wineserver:
# - a 50 MiB text file written and read through orvFSO (PutFile2/GetFile2, ANSI) against the
#   same with Wine's Scripting.FileSystemObject, from the same VBScript run;
# - one late-bound IDispatch::Invoke into the library against a direct C++ call.
#   bash bench/com.sh            (MIB=50 by default)
# The Windows build is build-win64/ (scripts/build-windows.sh, with the type library).
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${WINDOWS_BUILD:-$repo/build-win64}"
dll="$build/bin/Quern0102.dll"
mib="${MIB:-50}"
[[ -f "$dll" ]] || { echo "no $dll: run scripts/build-windows.sh first" >&2; exit 1; }

source "$repo/bench/wine_session.sh"
wine_session quern-com-bench
mkdir -p "$work/files"

echo "processor: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //')"
echo "wine: $(wine --version)"
wine regsvr32 /s "$(winepath -w "$dll")"

echo "--- ${mib} MiB text file"
wine cscript //nologo "$(winepath -w "$repo/bench/com_text.vbs")" "$(winepath -w "$work/files")" "$mib"

echo "--- one call"
x86_64-w64-mingw32-g++-posix -std=c++20 -O2 -static -I"$repo" "$repo/bench/com_invoke.cpp" \
  "$build/fileio/libQuern0102.dll.a" -lole32 -loleaut32 -luuid -o "$work/com_invoke.exe" \
  -Wl,--allow-multiple-definition  # the DLL exports every symbol, libgcc's unwinder too
cp "$dll" "$work/"
wine "$work/com_invoke.exe"
