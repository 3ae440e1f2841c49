#!/usr/bin/env bash
# Builds the Debian package as a packager would - a build tree of its own in the Debian layout
# (prefix /usr, Debian's hardening link flags), then cpack - and checks it: its contents and
# their owners, the manuals' compression, the dependencies dpkg-shlibdeps found, that the
# program and the Python module run from the unpacked tree, and no lintian error.
#   package_test.sh SOURCE_DIR PACKAGE_BUILD_DIR WERROR [COMPILER_LAUNCHER]
# The package build tree is kept between runs (a rebuild is incremental); it takes its
# parent's compiler launcher (ccache) and warning flags, so the compiler's cache serves both.
set -euo pipefail

source_dir="$1" build="$2" werror="$3" launcher="${4:-}"
work="$(mktemp -d "${TMPDIR:-/tmp}/sweepwell-package.XXXXXX")"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

if [[ ! -f "$build/CMakeCache.txt" ]]; then
  LDFLAGS="$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get LDFLAGS)" \
    cmake -S "$source_dir" -B "$build" -G Ninja -DCMAKE_INSTALL_PREFIX=/usr \
      -DORVANEL_TESTS=OFF -DORVANEL_MANUALS=ON -DORVANEL_WERROR="$werror" ${launcher:+-DCMAKE_CXX_COMPILER_LAUNCHER="$launcher"} \
      >"$work/configure.log" || { cat "$work/configure.log"; fail "configure"; }
fi
cmake --build "$build" -j2 >"$work/build.log" || { tail -30 "$work/build.log"; fail "build"; }
rm -f "$build"/sweepwell_*.deb
(cd "$build" && cpack -G DEB) >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail "cpack"; }
deb="$(ls "$build"/sweepwell_*.deb)"

# Contents: everything a user of the program, the library or the module needs.
dpkg-deb -c "$deb" >"$work/contents"
multiarch="$(dpkg-architecture -qDEB_HOST_MULTIARCH)"
for path in usr/bin/sweepwell usr/bin/orvanel-regsvr \
            "usr/lib/$multiarch/libquern0102.so.1" "usr/lib/$multiarch/libquern0102.so -> libquern0102.so.1" \
            "usr/lib/$multiarch/pkgconfig/quern0102.pc" "usr/lib/$multiarch/cmake/Quern0102/Quern0102Config.cmake" \
            usr/include/quern0102/fileio/orvFSO.h \
            usr/lib/python3/dist-packages/quern/__init__.py usr/lib/python3/dist-packages/quern/_quern. \
            usr/share/man/man1/sweepwell.1.gz usr/share/man/man5/sweepwell.loom.5.gz \
            usr/share/man/man3/quern.3.gz usr/share/man/man1/orvanel-regsvr.1.gz \
            usr/share/bash-completion/completions/sweepwell \
            usr/share/doc/sweepwell/copyright usr/share/doc/sweepwell/changelog.Debian.gz \
            usr/share/doc/sweepwell/examples/temp-files.loom \
            usr/share/doc/sweepwell/examples/systemd/sweepwell-daily.timer; do
  grep -qF " ./$path" "$work/contents" || fail "the package lacks $path"
done
if awk '$2 != "root/root"' "$work/contents" | grep -q .; then
  fail "files not owned by root: $(awk '$2 != "root/root"' "$work/contents")"
fi

# Dependencies: the C++ run time found by dpkg-shlibdeps, and the interpreter of the module.
depends="$(dpkg-deb -f "$deb" Depends)"
for dependency in 'libc6 (>=' 'libstdc++6 (>=' 'python3 (>=' 'python3 (<<'; do
  [[ "$depends" == *"$dependency"* ]] || fail "Depends lacks $dependency: $depends"
done

# The unpacked tree works: the manuals are gzip -9n streams (no name, no time stamp) that man
# reads, the program starts, the module loads its library through its relative run path.
dpkg-deb -x "$deb" "$work/root"
for manual in "$work/root"/usr/share/man/man*/*.gz; do
  gzip -dc "$manual" | gzip -9n | cmp -s - "$manual" || fail "$manual is not gzip -9n"
  gzip -dc "$manual" | grep -q '^\.TH' || fail "$manual is not a manual page"
done
"$work/root/usr/bin/sweepwell" --version >/dev/null || fail "the packaged sweepwell does not start"
HOME="$work" XDG_CONFIG_HOME="$work/config" PYTHONPATH="$work/root/usr/lib/python3/dist-packages" \
  /usr/bin/python3 -c 'import quern; quern.CreateObject("Quern0102.orvFSO")' ||
  fail "the packaged module does not load"

# lintian: errors fail the test; warnings are shown (each one is explained in the packaging notes
# of cmake/packaging.cmake).
lintian --suppress-tags initial-upload-closes-no-bugs "$deb" >"$work/lintian" 2>&1 || true
grep -v 'running with root privileges' "$work/lintian" || true
if grep -q '^E:' "$work/lintian"; then fail "lintian reports errors"; fi
echo "package test passed: $(basename "$deb")"
