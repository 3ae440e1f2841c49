#!/usr/bin/env bash
# Installs, with apt-get, the Debian 12 packages this repository needs, in two sets:
#   bash scripts/setup.sh           what building the program, the library and its Python module
#                                   and running the demo need (scripts/demo.sh)
#   bash scripts/setup.sh --tests   that and everything the tests, the Windows cross build, the
#                                   packaging checks and the benchmarks need (scripts/test.sh)
# Safe to run again: when every package of the set is already there it does nothing.
# Runs as root, or through sudo when it is there. Quiet on success; on a failure it prints
# apt-get's output and exits non-zero.
#
# Another package manager run (unattended-upgrades, a second setup) may hold dpkg's lock: every
# apt-get and dpkg call here waits for it, up to SETUP_LOCK_TIMEOUT seconds (default 600).
#
# A package counts as there only when dpkg calls it "installed" with no error flag. Two other
# states are nearly there: "triggers-pending" and "triggers-awaited" packages are unpacked and
# configured, only a trigger (ldconfig, man-db, ...) has not run yet; "unpacked" and
# "half-configured" ones were interrupted before or during configuration. For all of these
# `dpkg --configure -a` finishes the job (it also runs pending triggers), so it is run first;
# whatever is still not installed then is installed (or reinstalled) by apt-get.
set -euo pipefail

# The light set: a first try should not fetch a Windows toolchain to build a terminal program.
build_packages=(
  build-essential cmake ninja-build           # compiler and build
  python3-dev                                 # the quern module is a CPython extension (the
                                              # demo's last step reads the log through it)
  liburing-dev                                # batched looks of the file search (io_uring)
  psmisc                                      # fuser: this script waits for dpkg's lock with it
  gettext                                     # msgfmt: the English message catalogue
)

test_packages=(
  libgtest-dev libgmock-dev libbenchmark-dev  # GoogleTest, GoogleMock, Google Benchmark
  trash-cli                                   # trash-list: tests check our trash entries with it
  e2fsprogs                                   # chattr +i: "cannot delete" cases that hold for root
  mount util-linux                            # mount (tmpfs mount points in tests), findmnt
  libc-bin locales                            # iconv, localedef and the locale sources (ru_RU)
  libglib2.0-bin                              # gio trash, the bench's reference for trashing
  btrfs-progs ntfs-3g attr                    # loop images for compression and streams; getfattr
  acl                                         # setfacl: files with an access ACL (security stream)
  python3-pefile                              # cross-check of the version-resource reader
  shared-mime-info                            # file type names of the shell information
  hicolor-icon-theme adwaita-icon-theme       # icon files of the shell information
  scdoc                                       # the manuals
  pkg-config python3-setuptools python3-venv  # install test: pkg-config client, pip install
  debhelper dh-python dpkg-dev fakeroot file lintian  # the Debian packages (dpkg-buildpackage, lintian)
  systemd                                     # systemd-analyze verify of the timer examples
  mingw-w64-tools libwine                     # widl and the stdole2.tlb it imports: type library
  googletest                                  # GoogleTest sources, built for Windows
  mingw-w64                                   # the Windows cross compilers and windres
  wine wine64                                 # runs the Windows tests
  xvfb xauth                                  # a virtual X server for the Windows window tests
)

packages=("${build_packages[@]}")
case "${1:-}" in
  "") ;;
  --tests) packages+=("${test_packages[@]}") ;;
  *)
    echo "usage: setup.sh [--tests]" >&2
    exit 2
    ;;
esac

lock_timeout="${SETUP_LOCK_TIMEOUT:-600}"

# "installed", "triggers-pending", "unpacked", ... ; "broken" when dpkg flags an error
# (reinstreq), "absent" when dpkg knows nothing of it. The wanted state (install, hold) does not
# matter: a held package is as installed as any other.
state_of() {
  local status
  status="$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null)" || { echo absent; return; }
  set -- $status
  if [[ "${2:-}" != ok ]]; then echo broken; else echo "${3:-absent}"; fi
}

# Every package of the list not in the state "installed", one a line.
not_installed() {
  local package
  for package in "${packages[@]}"; do
    [[ "$(state_of "$package")" == installed ]] || echo "$package"
  done
}

mapfile -t missing < <(not_installed)
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
# Waits until no process has dpkg's or apt's lock files open (apt-get waits for the dpkg lock by
# itself through DPkg::Lock::Timeout, but neither dpkg nor apt-get update waits for theirs).
wait_for_lock() {
  command -v fuser >/dev/null || return 0
  local waited=0
  while "${as_root[@]}" fuser /var/lib/dpkg/lock-frontend /var/lib/dpkg/lock \
          /var/lib/apt/lists/lock /var/cache/apt/archives/lock >/dev/null 2>&1; do
    if ((waited == 0)); then echo "setup: waiting for another package manager to finish" >&2; fi
    if ((waited >= lock_timeout)); then
      echo "setup: the package manager's lock is still held after ${lock_timeout}s" >&2
      exit 1
    fi
    sleep 2
    waited=$((waited + 2))
  done
}
run() {
  wait_for_lock
  if ! "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive "$@" >>"$log" 2>&1; then
    echo "setup: '$*' failed; its output:" >&2
    cat "$log" >&2
    exit 1
  fi
}
apt_get=(apt-get -o "DPkg::Lock::Timeout=$lock_timeout")

# Interrupted or trigger-waiting packages are finished first; they may be all that was missing.
for package in "${missing[@]}"; do
  case "$(state_of "$package")" in
    triggers-pending | triggers-awaited | unpacked | half-configured)
      echo "setup: finishing the configuration of interrupted or waiting packages"
      run dpkg --configure -a
      mapfile -t missing < <(not_installed)
      break
      ;;
  esac
done

if [[ ${#missing[@]} -gt 0 ]]; then
  echo "setup: installing ${missing[*]}"
  run "${apt_get[@]}" update
  # --reinstall as well: a package present but broken (half-installed, reinstreq) is fetched again.
  run "${apt_get[@]}" install -y --no-install-recommends --reinstall "${missing[@]}"
fi

mapfile -t missing < <(not_installed)
if [[ ${#missing[@]} -gt 0 ]]; then
  echo "setup: still not installed: ${missing[*]} (see $log)" >&2
  exit 1
fi
rm -f "$log"
