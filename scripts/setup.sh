#!/usr/bin/env bash
# Installs, with apt-get, everything the build, the tests, the demo and the benchmarks need on a
# Debian 12 machine. Safe to run again: when every package is already there it does nothing.
# Runs as root, or through sudo when it is there. Quiet on success; on a failure it prints
# apt-get's output and exits non-zero.
set -euo pipefail

packages=(
  build-essential cmake ninja-build           # compiler and build
  libgtest-dev libgmock-dev libbenchmark-dev  # GoogleTest, GoogleMock, Google Benchmark
  python3                                     # bench/ helpers
  trash-cli                                   # trash-list: tests check our trash entries with it
  e2fsprogs                                   # chattr +i: "cannot delete" cases that hold for root
  mount util-linux                            # mount (tmpfs mount points in tests), findmnt
  libc-bin locales                            # iconv, localedef and the locale sources (ru_RU)
  libglib2.0-bin                              # gio trash, the bench's reference for trashing
  python3-dev                                 # the quern module is a CPython extension
  btrfs-progs ntfs-3g attr                    # loop images for compression and streams; getfattr
  acl                                         # setfacl: files with an access ACL (security stream)
  python3-pefile                              # cross-check of the version-resource reader
  shared-mime-info                            # file type names of the shell information
  hicolor-icon-theme adwaita-icon-theme       # icon files of the shell information
  googletest                                  # GoogleTest sources, built for Windows
  mingw-w64 mingw-w64-tools                   # the Windows cross compilers, windres and widl
  wine wine64                                 # runs the Windows tests
  xvfb xauth                                  # a virtual X server for the Windows window tests
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

as_root=()
if [[ $(id -u) -ne 0 ]]; then
  if command -v sudo >/dev/null; then
    as_root=(sudo)
  else
    echo "setup: need root (or sudo) to install: ${missing[*]}" >&2
    exit 1
  fi
fi

log="$(mktemp "${TMPDIR:-/tmp}/sweepwell-setup.XXXXXX.log")"
run() {
  if ! "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive "$@" >>"$log" 2>&1; then
    echo "setup: '$*' failed; its output:" >&2
    cat "$log" >&2
    exit 1
  fi
}
echo "setup: installing ${missing[*]}"
run apt-get update
run apt-get install -y --no-install-recommends "${missing[@]}"

for package in "${missing[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    echo "setup: $package is still not installed (see $log)" >&2
    exit 1
  fi
done
rm -f "$log"
