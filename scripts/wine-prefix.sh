#!/usr/bin/env bash
# The Wine prefix of one test run of the Windows build (CTest fixture):
#   scripts/wine-prefix.sh start FOLDER   a fresh prefix in FOLDER/prefix, a fresh home in
#                                         FOLDER/home, and a wineserver kept for the run
#   scripts/wine-prefix.sh stop FOLDER    ends that wineserver
# The tests get WINEPREFIX=FOLDER/prefix, HOME=FOLDER/home, XDG_DATA_HOME=FOLDER/home/data and
# XDG_CONFIG_HOME=FOLDER/home/config from CTest, so Wine's view of the home (and its trash,
# $XDG_DATA_HOME/Trash) lies inside the build tree.
set -euo pipefail

action="$1"
folder="$2"
export WINEPREFIX="$folder/prefix" HOME="$folder/home"
export XDG_DATA_HOME="$folder/home/data" XDG_CONFIG_HOME="$folder/home/config"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

case "$action" in
  start)
    wineserver -k >/dev/null 2>&1 || true
    rm -rf "$folder"
    mkdir -p "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$WINEPREFIX"
    # Kept while the tests run, and a few minutes after the last one should the stop step
    # never come (an interrupted run): no wineserver outlives its use for long.
    wineserver -p300 </dev/null >/dev/null 2>&1
    wineboot -i </dev/null >/dev/null 2>&1
    echo "fresh Wine prefix in $WINEPREFIX ($(wine --version))"
    ;;
  stop)
    wineserver -k >/dev/null 2>&1 || true
    ;;
  *)
    echo "usage: $0 start|stop FOLDER" >&2
    exit 2
    ;;
esac
