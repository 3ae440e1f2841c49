#!/usr/bin/env bash
# The example systemd user units pass `systemd-analyze verify` as a user manager would load
# them: no warning about their syntax, the program they start exists and is executable, and
# (when the manuals were built) every man page named in Documentation= is found.
#   systemd_test.sh UNIT_FOLDER SWEEPWELL_BINARY [MANUALS_FOLDER]
set -euo pipefail

units="$1" program="$2" manuals="${3:-}"
work="$(mktemp -d "${TMPDIR:-/tmp}/sweepwell-units.XXXXXX")"
trap 'rm -rf "$work"' EXIT

# The units name the installed program; here they start the one just built.
mkdir -p "$work/units" "$work/run" "$work/home"
for unit in "$units"/*.service "$units"/*.timer; do
  sed "s|/usr/bin/sweepwell|$program|g" "$unit" >"$work/units/$(basename "$unit")"
done
man_check=(--man=no)
if [[ -n "$manuals" && -f "$manuals/sweepwell.1.gz" ]]; then
  mkdir -p "$work/man/man1" "$work/man/man5"
  cp "$manuals"/*.1.gz "$work/man/man1/"
  cp "$manuals"/*.5.gz "$work/man/man5/"
  export MANPATH="$work/man"
  man_check=(--man=yes)
fi

# verify exits 0 on unknown keys and malformed lines too; it only warns, so any word it says
# is a failure.
cd "$work/units"
if ! output="$(HOME="$work/home" XDG_RUNTIME_DIR="$work/run" \
               systemd-analyze --user "${man_check[@]}" verify ./*.timer ./*.service 2>&1)" ||
   [[ -n "$output" ]]; then
  echo "FAIL: systemd-analyze verify says:"
  echo "$output"
  exit 1
fi
echo "systemd units verified (${man_check[*]})"
