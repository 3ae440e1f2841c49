#!/usr/bin/env bash
# The script clients of the COM tests, under Wine in the test run's prefix (CTest sets
# WINEPREFIX and the rest):
#   com-test.sh register DLL KEY...       regsvr32, then each registry KEY must be there
#   com-test.sh unregister DLL [user] KEY...
#                                         regsvr32 /u, then each registry KEY must be gone
#   com-test.sh user-cycle DLL KEY...     regsvr32 /n /i:user, each KEY must be there, then
#                                         regsvr32 /u /n /i:user, each KEY must be gone
#   com-test.sh script FILE [ARG...]      cscript //nologo FILE ARG... wine
#   com-test.sh suite FILE DLL            the same with a fresh scratch folder and DLL:
#                                         cscript //nologo FILE SCRATCH DLL wine
# Paths are given as Unix paths and handed to Windows programs in their Windows form.
set -euo pipefail

action="$1"
shift
win() { winepath -w "$1" 2>/dev/null; }

case "$action" in
  register)
    dll="$1"
    shift
    wine regsvr32 /s "$(win "$dll")"
    for key in "$@"; do
      if ! wine reg query "$key" >/dev/null 2>&1; then
        echo "not registered: $key"
        exit 1
      fi
    done
    echo "registered $dll"
    ;;
  unregister)
    dll="$1"
    shift
    if [[ "${1:-}" == user ]]; then
      wine regsvr32 /s /u /n /i:user "$(win "$dll")"
      shift
    else
      wine regsvr32 /s /u "$(win "$dll")"
    fi
    left=0
    for key in "$@"; do
      if wine reg query "$key" >/dev/null 2>&1; then
        echo "still registered: $key"
        left=1
      fi
    done
    [[ $left == 0 ]] && echo "unregistered $dll: every key is gone"
    exit "$left"
    ;;
  user-cycle)
    dll="$1"
    shift
    wine regsvr32 /s /n /i:user "$(win "$dll")"
    for key in "$@"; do
      if ! wine reg query "$key" >/dev/null 2>&1; then
        echo "not registered: $key"
        exit 1
      fi
    done
    exec "$0" unregister "$dll" user "$@"
    ;;
  suite)
    scratch="$(mktemp -d "${HOME:-/tmp}/com-suite.XXXXXX")"
    trap 'rm -rf "$scratch"' EXIT
    status=0
    "$0" script "$1" "$scratch" "$2" || status=$?
    exit "$status"
    ;;
  script)
    file="$1"
    shift
    args=()
    for arg in "$@"; do
      if [[ "$arg" == /* ]]; then args+=("$(win "$arg")"); else args+=("$arg"); fi
    done
    exec wine cscript //nologo "$(win "$file")" "${args[@]}" wine
    ;;
  *)
    echo "usage: $0 register|unregister|script ..." >&2
    exit 2
    ;;
esac
