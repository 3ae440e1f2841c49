#!/usr/bin/env bash
# Builds the Debian packages as Debian builds them - dpkg-buildpackage -us -uc -b over a copy
# of the tree - and checks them: which package holds what, their dependencies, the SONAME and
# the symbols file, the hardening of every binary, lintian (warnings fail). Then, as root and
# when none of them is installed yet, installs them for real, uses them as their users do (the
# program loads the versioned library; import quern; a C++ client through pkg-config and
# find_package), purges them and checks that nothing of them is left.
#   package_test.sh SOURCE_DIR PACKAGE_DIR [COMPILER_LAUNCHER]
# PACKAGE_DIR is emptied and holds the copy and dpkg-buildpackage's output (../*.deb); its path
# stays the same between runs, so that a compiler cache (ccache) serves the next build.
set -euo pipefail

source_dir="$(cd "$1" && pwd)" out="$(realpath -m "$2")" launcher="${3:-}"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
work="$(mktemp -d "${TMPDIR:-/tmp}/sweepwell-package.XXXXXX")"
packages=(sweepwell libquern0102-1 libquern0102-dev python3-quern)
installed=0
cleanup() {
  if [[ "$installed" == 1 ]]; then
    apt-get purge -y -q -o DPkg::Lock::Timeout=600 "${packages[@]}" >"$work/cleanup.log" 2>&1 ||
      cat "$work/cleanup.log" >&2
  fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
# Whether standard input has a line matching the extended regular expression $1. Reads all of
# it: `cmd | grep -q` under pipefail fails when grep stops early and cmd dies of SIGPIPE.
has() { local text; text="$(cat)"; grep -qE -- "$1" <<<"$text"; }

version="$(dpkg-parsechangelog -l "$source_dir/debian/changelog" -S Version)"
arch="$(dpkg-architecture -qDEB_HOST_ARCH)" multiarch="$(dpkg-architecture -qDEB_HOST_MULTIARCH)"
libdir="usr/lib/$multiarch"

# --- Build ----------------------------------------------------------------------------------
rm -rf "$out"
tree="$out/sweepwell-$version"
mkdir -p "$tree"
tar -C "$source_dir" --exclude-vcs --exclude='./build*' --exclude=./out --exclude=__pycache__ \
  --exclude='*.egg-info' -cf - . | tar -C "$tree" -xf -
build_env=(DEB_BUILD_OPTIONS="nocheck parallel=2")
if [[ -n "$launcher" ]]; then
  build_env+=(CMAKE_CXX_COMPILER_LAUNCHER="$launcher")
  # debhelper gives the build a HOME of its own; ccache's cache is then named explicitly.
  if [[ "$(basename "$launcher")" == ccache && -z "${CCACHE_DIR:-}" ]]; then
    build_env+=(CCACHE_DIR="$("$launcher" -k cache_dir)")
  fi
fi
(cd "$tree" && env "${build_env[@]}" dpkg-buildpackage -us -uc -b) >"$out/build.log" 2>&1 ||
  { tail -40 "$out/build.log"; fail "dpkg-buildpackage (log: $out/build.log)"; }
changes="$out/sweepwell_${version}_${arch}.changes"
[[ -f "$changes" ]] || fail "no $changes"
deb() { echo "$out/${1}_${version}_${arch}.deb"; }
for package in "${packages[@]}"; do
  [[ -f "$(deb "$package")" ]] || fail "no package $package"
  dpkg-deb -c "$(deb "$package")" | awk '{ sub(/^\.\//, "", $6); if ($6 != "") print $6 }' \
    >"$work/$package.files"
done
built="$(find "$out" -maxdepth 1 -name '*.*deb' -printf '%f ')"
[[ "$built" == *"libquern0102-1-dbgsym_"* && "$built" == *"sweepwell-dbgsym_"* ]] ||
  fail "debhelper made no debug symbol packages: $built"

# --- Which package holds what ---------------------------------------------------------------
holds() {  # PACKAGE PATH...: each PATH is in PACKAGE and in no other package
  local package="$1" path other
  shift
  for path in "$@"; do
    grep -qxF "$path" "$work/$package.files" || fail "$package lacks $path"
    for other in "${packages[@]}"; do
      [[ "$other" == "$package" ]] && continue
      if grep -qxF "$path" "$work/$other.files"; then fail "$path is in $other too"; fi
    done
  done
}
holds sweepwell usr/bin/sweepwell usr/share/man/man1/sweepwell.1.gz usr/bin/orvanel-regsvr \
  usr/share/man/man1/orvanel-regsvr.1.gz \
  usr/share/man/man5/sweepwell.loom.5.gz usr/share/bash-completion/completions/sweepwell \
  usr/share/man/ru/man1/sweepwell.1.gz usr/share/man/ru/man1/orvanel-regsvr.1.gz \
  usr/share/man/ru/man5/sweepwell.loom.5.gz \
  usr/share/doc/sweepwell/copyright usr/share/doc/sweepwell/changelog.gz \
  usr/share/doc/sweepwell/examples/temp-files.loom \
  usr/share/doc/sweepwell/examples/systemd/sweepwell-daily.timer \
  usr/share/locale/en/LC_MESSAGES/sweepwell.mo
holds libquern0102-1 "$libdir/libquern0102.so.1" usr/share/doc/libquern0102-1/copyright
holds libquern0102-dev "$libdir/libquern0102.so" "$libdir/pkgconfig/quern0102.pc" \
  "$libdir/cmake/Quern0102/Quern0102Config.cmake" usr/include/quern0102/fileio/orvFSO.h
holds python3-quern usr/lib/python3/dist-packages/quern/__init__.py \
  usr/lib/python3/dist-packages/quern/py.typed usr/share/man/man3/quern.3.gz \
  usr/share/man/ru/man3/quern.3.gz
grep -qE '^usr/lib/python3/dist-packages/quern/_quern\.cpython-[0-9]+-'"$multiarch"'\.so$' \
  "$work/python3-quern.files" || fail "python3-quern lacks the extension"
# The run-time library package holds the library and its documentation only (so that the next
# SONAME's package installs beside it), and no package ships byte code: it is compiled on the
# machine by the postinst, and removed again by the prerm.
if grep -vE "^($libdir/libquern0102\.so\.1|usr/share/doc/libquern0102-1/.*|.*/)$" \
  "$work/libquern0102-1.files" | grep .; then fail "libquern0102-1 holds more than the library"; fi
if cat "$work"/*.files | grep -E '__pycache__|\.pyc$'; then fail "byte code is packaged"; fi
if dpkg-deb -c "$(deb sweepwell)" | awk '$2 != "root/root"' | grep .; then
  fail "files not owned by root"
fi

# --- Dependencies, SONAME, symbols ----------------------------------------------------------
field() { dpkg-deb -f "$(deb "$1")" "$2"; }
[[ "$(field sweepwell Depends)" != *python* ]] || fail "sweepwell depends on Python: $(field sweepwell Depends)"
[[ "$(field sweepwell Recommends)" == *"libquern0102-1 (= $version)"* ]] ||
  fail "sweepwell does not recommend its library: $(field sweepwell Recommends)"
for dependency in 'python3 (<<' 'python3 (>=' 'libquern0102-1 (>= '; do
  [[ "$(field python3-quern Depends)" == *"$dependency"* ]] ||
    fail "python3-quern Depends lacks $dependency: $(field python3-quern Depends)"
done
[[ "$(field libquern0102-dev Depends)" == *"libquern0102-1 (= $version)"* ]] ||
  fail "libquern0102-dev Depends: $(field libquern0102-dev Depends)"
dpkg-deb -x "$(deb libquern0102-1)" "$work/lib"
objdump -p "$work/lib/$libdir/libquern0102.so.1" | has 'SONAME +libquern0102\.so\.1$' ||
  fail "the SONAME of libquern0102.so.1 does not match the package libquern0102-1"
dpkg-deb -e "$(deb libquern0102-1)" "$work/lib-control"
[[ -f "$work/lib-control/symbols" ]] || fail "libquern0102-1 has no symbols file"
grep -q '^libquern0102\.so\.1 libquern0102-1 ' "$work/lib-control/symbols" || fail "symbols header"
for symbol in DllGetClassObject DllCanUnloadNow DllRegisterServer DllUnregisterServer; do
  grep -qE "^ $symbol@QUERN0102_1 " "$work/lib-control/symbols" || fail "symbols lacks $symbol"
done
# The dynamic linker's cache learns of the library by dpkg's ldconfig trigger.
grep -q '^activate-noawait ldconfig$' "$work/lib-control/triggers" || fail "no ldconfig trigger"

# --- Hardening: every ELF file is PIE or a shared object, with full RELRO and bind-now, and
# calls the fortified libc functions (-D_FORTIFY_SOURCE needs -O2 and both must reach CMake).
for package in sweepwell python3-quern; do dpkg-deb -x "$(deb "$package")" "$work/lib"; done
for elf in "$work/lib/usr/bin/sweepwell" "$work/lib/usr/bin/orvanel-regsvr" \
           "$work/lib/$libdir/libquern0102.so.1" "$work/lib"/usr/lib/python3/dist-packages/quern/_quern*.so; do
  readelf -h "$elf" | has 'Type: +DYN' || fail "$elf is not position independent"
  readelf -lW "$elf" | has GNU_RELRO || fail "$elf has no RELRO"
  readelf -dW "$elf" | has 'BIND_NOW|FLAGS.*NOW' || fail "$elf is not bound at load (bindnow)"
  if readelf -dW "$elf" | grep -E 'R(UN)?PATH'; then fail "$elf has a run path"; fi
done
for elf in "$work/lib/usr/bin/sweepwell" "$work/lib/$libdir/libquern0102.so.1"; do
  nm -D --undefined-only "$elf" | has '__[a-z]+_chk@' || fail "$elf calls no fortified function"
done
grep -qE -- '-O2 .*-D_FORTIFY_SOURCE=2' "$out/build.log" || fail "not compiled with -O2 and fortify"

# --- lintian: errors and warnings fail; informational tags are shown ------------------------
lintian -I --fail-on error,warning "$changes" >"$work/lintian" 2>&1 ||
  { cat "$work/lintian"; fail "lintian"; }
grep -v 'running with root privileges' "$work/lintian" || true

# --- Installed for real ---------------------------------------------------------------------
if [[ "$(id -u)" != 0 ]]; then
  echo "package test passed (built and checked; not root: not installed)"
  exit 0
fi
for package in "${packages[@]}"; do
  if dpkg-query -W -f '${db:Status-Status}' "$package" 2>/dev/null | grep -qv '^not-installed$'; then
    echo "package test passed (built and checked; $package is installed here: not installed again)"
    exit 0
  fi
done
if ls "/$libdir"/libquern0102.so* /usr/lib/python3/dist-packages/quern 2>/dev/null; then
  fail "files of the library are on the system already, not from a package"
fi
install_packages() {
  installed=1
  apt-get install -y -q --no-install-recommends -o DPkg::Lock::Timeout=600 "$@" \
    >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "installing $*"; }
}
export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
unset LD_LIBRARY_PATH PYTHONPATH PYTHONHOME
mkdir -p "$HOME" "$work/tree/empty"
cd "$work"

# The program with the run-time library alone, no -dev (so no bare libquern0102.so anywhere):
# closing the run's log creates the library's orvFSO, which must load libquern0102.so.1.
install_packages "$(deb sweepwell)" "$(deb libquern0102-1)"
/usr/bin/sweepwell --version >/dev/null || fail "the installed sweepwell does not start"
printf 'cleaner.delete-empty-folders-recursive = "%s"\ncleaner.done\n' "$work/tree" >"$work/run.loom"
LD_DEBUG=libs /usr/bin/sweepwell --no-pause "$work/run.loom" </dev/null >"$work/run.out" 2>"$work/run.err" ||
  { cat "$work/run.out"; fail "the installed sweepwell did not run a script"; }
[[ ! -e "$work/tree/empty" ]] || fail "the installed sweepwell left the empty folder"
grep -qF "calling init: /$libdir/libquern0102.so.1" "$work/run.err" ||
  fail "sweepwell did not load /$libdir/libquern0102.so.1: $(grep -i quern "$work/run.err")"

# The module, from its Debian place, byte-compiled by its postinst, for the system's interpreter
# (the first python3 on PATH may be a private one).
install_packages "$(deb python3-quern)" "$(deb libquern0102-dev)"
ls /usr/lib/python3/dist-packages/quern/__pycache__/*.pyc >/dev/null 2>&1 ||
  fail "the module was not byte-compiled on installing"
/usr/bin/python3 - "$work/py.txt" <<'PY' || fail "the installed module does not work"
import sys
import quern
assert quern.__file__ == "/usr/lib/python3/dist-packages/quern/__init__.py", quern.__file__
fso = quern.CreateObject("Quern0102.orvFSO")
fso.PutFile2(sys.argv[1], "from Python", True)
assert quern.GetFile2(sys.argv[1]) == "from Python"
PY

# A C++ client against libquern0102-dev, by pkg-config and by find_package, run against the
# system's library.
run_client() {
  local output
  output="$("$1" "$work/client.txt")"
  [[ "$output" == $'Grüße from an installed client\nerror 53' ]] || fail "$1 printed: $output"
}
# shellcheck disable=SC2046  # the flags are words
c++ -o "$work/client-pc" "$here/../install/client/client.cpp" $(pkg-config --cflags --libs quern0102) ||
  fail "a client does not build with pkg-config"
run_client "$work/client-pc"
cmake -S "$here/../install/client" -B "$work/client-build" -G Ninja >"$work/client.log" 2>&1 &&
  cmake --build "$work/client-build" >>"$work/client.log" 2>&1 ||
  { cat "$work/client.log"; fail "a client does not build with find_package(Quern0102)"; }
run_client "$work/client-build/client"

# Purge: nothing of any package is left, byte code included.
apt-get purge -y -q -o DPkg::Lock::Timeout=600 "${packages[@]}" >"$work/purge.log" 2>&1 ||
  { cat "$work/purge.log"; fail "purge"; }
installed=0
for package in "${packages[@]}"; do
  dpkg-query -W -f '${db:Status-Status}\n' "$package" 2>/dev/null | grep -qvx 'not-installed' &&
    fail "$package is still known to dpkg after the purge"
  while read -r path; do
    if [[ "$path" != */ && ( -e "/$path" || -L "/$path" ) ]]; then fail "/$path is left after the purge"; fi
  done <"$work/$package.files"
done
for left in /usr/lib/python3/dist-packages/quern /usr/share/doc/sweepwell /usr/include/quern0102 \
            "/$libdir/cmake/Quern0102" /usr/share/doc/python3-quern; do
  [[ ! -e "$left" ]] || fail "$left is left after the purge: $(find "$left" | head)"
done
echo "package test passed: ${packages[*]} built, checked, installed, used and purged"
