#!/usr/bin/env bash
# scripts/setup.sh against a stand-in package manager: dpkg-query answers from a folder of
# package states, dpkg, apt-get and fuser record their calls and change the states as the real
# ones would. Checks what setup.sh counts as installed, what it runs for each kind of missing
# package, which packages each of its two sets asks for, that it waits for a held lock, and that
# it fails when a package stays missing.
#   setup_test.sh SETUP_SCRIPT
set -uo pipefail

setup="$1"
work="$(mktemp -d "${TMPDIR:-/tmp}/setup-test.XXXXXX")"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin"
export STATES="$work/states" CALLS="$work/calls" LOCK_CHECKS="$work/lock-checks"

# dpkg-query -W -f='${Status}' PACKAGE: "install ok installed" unless a state file says otherwise.
cat >"$work/bin/dpkg-query" <<'SH'
#!/usr/bin/env bash
package="${*: -1}"
if [[ -f "$STATES/$package" ]]; then
  state="$(cat "$STATES/$package")"
  [[ "$state" == absent ]] && exit 1
  printf '%s' "$state"
else
  printf 'install ok installed'
fi
SH
# dpkg --configure -a: finishes every configured-but-waiting or interrupted package.
cat >"$work/bin/dpkg" <<'SH'
#!/usr/bin/env bash
echo "dpkg $*" >>"$CALLS"
for file in "$STATES"/*; do
  [[ -f "$file" ]] || continue
  case "$(cat "$file")" in
    *" ok triggers-pending" | *" ok triggers-awaited" | *" ok unpacked" | *" ok half-configured")
      echo "install ok installed" >"$file" ;;
  esac
done
SH
# apt-get: install makes the named packages installed, except those listed in $STUCK.
cat >"$work/bin/apt-get" <<'SH'
#!/usr/bin/env bash
echo "apt-get $*" >>"$CALLS"
installing=""
for argument in "$@"; do
  if [[ -n "$installing" && "$argument" != -* ]]; then
    [[ " ${STUCK:-} " == *" $argument "* ]] || echo "install ok installed" >"$STATES/$argument"
  fi
  [[ "$argument" == install ]] && installing=1
done
exit 0
SH
# fuser: the lock is held for the first $HELD checks.
cat >"$work/bin/fuser" <<'SH'
#!/usr/bin/env bash
count=$(($(cat "$LOCK_CHECKS" 2>/dev/null || echo 0) + 1))
echo "$count" >"$LOCK_CHECKS"
[[ $count -le ${HELD:-0} ]]
SH
printf '#!/bin/sh\necho 0\n' >"$work/bin/id"
chmod +x "$work/bin"/*

failures=0
# run NAME EXPECTED_STATUS STATE... : each STATE is PACKAGE=STATUS for dpkg-query; setup.sh gets
# the arguments in $ARGS (default: --tests, the whole list).
run() {
  local name="$1" expected="$2" state
  shift 2
  rm -rf "$STATES" "$CALLS" "$LOCK_CHECKS"
  mkdir -p "$STATES"
  touch "$CALLS"
  for state in "$@"; do echo "${state#*=}" >"$STATES/${state%%=*}"; done
  # shellcheck disable=SC2086
  PATH="$work/bin:$PATH" TMPDIR="$work" bash "$setup" ${ARGS---tests} >"$work/out" 2>&1
  local status=$?
  if [[ $status -ne $expected ]]; then
    echo "FAIL ($name): exit $status, expected $expected; output:"
    cat "$work/out"
    failures=$((failures + 1))
  fi
}
called() { grep -qF -- "$1" "$CALLS" || { echo "FAIL ($2): no call '$1' in: $(cat "$CALLS")"; failures=$((failures + 1)); }; }
not_called() { ! grep -qF -- "$1" "$CALLS" || { echo "FAIL ($2): unexpected '$1' in: $(cat "$CALLS")"; failures=$((failures + 1)); }; }

# Everything there, a held package included: nothing is run.
run "all installed" 0 "cmake=hold ok installed"
not_called "apt-get" "all installed"
not_called "dpkg" "all installed"

# Configured packages waiting for a trigger, and an interrupted configuration: dpkg finishes
# them, and that is all that was missing.
run "triggers" 0 "cmake=install ok triggers-pending" "scdoc=install ok half-configured"
called "dpkg --configure -a" "triggers"
not_called "apt-get" "triggers"

# Absent, removed with its configuration left, or broken: fetched and (re)installed, after
# waiting for dpkg's lock.
run "missing" 0 "scdoc=absent" "lintian=deinstall ok config-files" "cmake=install reinstreq half-installed"
called "DPkg::Lock::Timeout=" "missing"
called "update" "missing"
called "install -y --no-install-recommends --reinstall" "missing"
grep "install -y" "$CALLS" | grep -q "cmake scdoc lintian" ||
  { echo "FAIL (missing): not every missing package installed: $(cat "$CALLS")"; failures=$((failures + 1)); }

# Another package manager holds the lock: setup waits, then installs.
HELD=1 run "lock held" 0 "scdoc=absent"
grep -q "waiting for another package manager" "$work/out" ||
  { echo "FAIL (lock held): no word of waiting: $(cat "$work/out")"; failures=$((failures + 1)); }
called "install -y" "lock held"

# A package apt-get did not install is a failure, named.
STUCK=scdoc run "stuck" 1 "scdoc=absent"
grep -q "still not installed: scdoc" "$work/out" ||
  { echo "FAIL (stuck): $(cat "$work/out")"; failures=$((failures + 1)); }

# The light set: the build's packages are installed, the test-only ones (Wine, the cross
# compilers, lintian, the manuals' scdoc) are neither looked at nor installed.
ARGS= run "light, all there" 0 "wine=absent" "mingw-w64=absent" "lintian=absent" "scdoc=absent"
not_called "apt-get" "light, all there"
ARGS= run "light, build missing" 0 "cmake=absent" "python3-dev=absent" "wine=absent"
grep "install -y" "$CALLS" | grep -q -- "--reinstall cmake python3-dev$" ||
  { echo "FAIL (light): not exactly the build's packages: $(cat "$CALLS")"; failures=$((failures + 1)); }
# The whole list: the build's packages as well as the tests'.
ARGS=--tests run "tests" 0 "cmake=absent" "wine=absent" "libgtest-dev=absent"
grep "install -y" "$CALLS" | grep -q -- "--reinstall cmake libgtest-dev wine$" ||
  { echo "FAIL (tests): not every missing package: $(cat "$CALLS")"; failures=$((failures + 1)); }
# A mistyped set installs nothing.
ARGS=--test run "bad argument" 2 "cmake=absent"
not_called "apt-get" "bad argument"

[[ $failures -eq 0 ]] && echo "setup test passed"
exit $((failures > 0))
