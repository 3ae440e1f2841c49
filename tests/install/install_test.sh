#!/usr/bin/env bash
# Installs the build tree into a temporary prefix, moves the installed tree elsewhere (nothing
# may depend on the folder it was installed to), then uses it as its users do: a C++ client
# built with pkg-config and one built with find_package, and the Python module imported by the
# system interpreter with nothing but the site folder on its path.
#   install_test.sh BUILD_DIR LIBDIR PYTHON_DIR PYTHON CXX
# LIBDIR and PYTHON_DIR are relative to the prefix, as the build was configured.
set -euo pipefail

build="$1" libdir="$2" python_dir="$3" python="$4" cxx="$5"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
work="$(mktemp -d "${TMPDIR:-/tmp}/quern-install.XXXXXX")"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$work/installed" >"$work/install.log"
mv "$work/installed" "$work/moved"
prefix="$work/moved"
# Nothing of the build tree or the first prefix may be needed from here on.
unset LD_LIBRARY_PATH PYTHONHOME
export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
mkdir -p "$HOME"

# The library: versioned file, SONAME, the unversioned link for linkers and the component lookup.
lib="$prefix/$libdir"
[[ -f "$lib/libquern0102.so.1" && ! -L "$lib/libquern0102.so.1" ]] || fail "no libquern0102.so.1"
[[ "$(readlink "$lib/libquern0102.so")" == libquern0102.so.1 ]] || fail "libquern0102.so link"
readelf -d "$lib/libquern0102.so.1" | grep -q 'Library soname: \[libquern0102.so.1\]' ||
  fail "SONAME is not libquern0102.so.1"
# Run paths, where there are any, are relative to the file.
for file in "$lib/libquern0102.so.1" "$prefix/$python_dir"/_quern*.so "$prefix/bin/sweepwell"; do
  if readelf -d "$file" | grep -E 'R(UN)?PATH' | grep -qv 'ORIGIN'; then
    fail "$file has an absolute run path: $(readelf -d "$file" | grep -E 'R(UN)?PATH')"
  fi
done
# The internal helpers stay inside.
if nm -D --defined-only "$lib/libquern0102.so.1" | c++filt | grep -qE 'support::ovCutLeft|platform::'; then
  fail "private symbols are exported"
fi

run_client() {
  local client="$1" output
  output="$(LD_LIBRARY_PATH="$lib" "$client" "$work/client.txt")"
  [[ "$output" == $'Grüße from an installed client\nerror 53' ]] ||
    fail "$client printed: $output"
}

# pkg-config: the file finds its prefix from its own place, so the moved tree is described.
export PKG_CONFIG_PATH="$lib/pkgconfig"
[[ "$(pkg-config --variable=libdir quern0102)" -ef "$lib" ]] || fail "pkg-config libdir"
# shellcheck disable=SC2046  # the flags are words
"$cxx" -o "$work/client-pc" "$here/client/client.cpp" $(pkg-config --cflags --libs quern0102)
run_client "$work/client-pc"

# find_package: the imported target brings the include folder and C++20.
cmake -S "$here/client" -B "$work/client-build" -G Ninja -DCMAKE_CXX_COMPILER="$cxx" \
  -DCMAKE_PREFIX_PATH="$prefix" >"$work/client-configure.log" ||
  { cat "$work/client-configure.log"; fail "find_package(Quern0102)"; }
cmake --build "$work/client-build" >"$work/client-build.log" ||
  { cat "$work/client-build.log"; fail "building the find_package client"; }
run_client "$work/client-build/client"

# The Python module, from the installed site folder, with the system interpreter. Creating an
# object by its ProgID finds the library the extension already loaded (by its versioned name).
PYTHONPATH="$prefix/$python_dir/.." "$python" - "$prefix" "$work/py.txt" <<'PY'
import os, sys
import quern
prefix, text = sys.argv[1], sys.argv[2]
assert os.path.realpath(quern.__file__).startswith(os.path.realpath(prefix)), quern.__file__
fso = quern.CreateObject("Quern0102.orvFSO")
fso.PutFile2(text, "from Python", True)
assert quern.GetFile2(text) == "from Python", quern.GetFile2(text)
PY

"$prefix/bin/sweepwell" --version >/dev/null || fail "the installed sweepwell does not start"
echo "install test passed"
