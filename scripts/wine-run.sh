#!/usr/bin/env bash
# Runs a Windows program under Wine: CTest's emulator for the Windows build
# (CMAKE_CROSSCOMPILING_EMULATOR of cmake/mingw-w64-x86_64.cmake), and by hand:
#   scripts/wine-run.sh build-win64/bin/Sweepwell.exe /? 
# CTest sets WINEPREFIX, HOME and XDG_* to folders of the build tree (made afresh once per test
# run by scripts/wine-prefix.sh). Started without a WINEPREFIX, it makes a throwaway prefix and
# home of its own and removes them afterwards, so the user's own Wine, home and trash are
# never touched.
set -euo pipefail

export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko installer dialogs: nothing here needs them.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

if [[ -n "${WINEPREFIX:-}" ]]; then
  exec wine "$@"
fi

scratch="$(mktemp -d)"
cleanup() {
  WINEPREFIX="$scratch/prefix" wineserver -k >/dev/null 2>&1 || true
  rm -rf "$scratch"
}
trap cleanup EXIT
export WINEPREFIX="$scratch/prefix" HOME="$scratch/home"
export XDG_DATA_HOME="$scratch/home/data" XDG_CONFIG_HOME="$scratch/home/config"
mkdir -p "$XDG_DATA_HOME" "$XDG_CONFIG_HOME"
wineboot -i >/dev/null 2>&1
status=0
wine "$@" || status=$?
exit "$status"
