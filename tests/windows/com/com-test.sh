#!/usr/bin/env bash
# The script clients of the COM tests, under Wine in the test run's prefix (CTest sets
# WINEPREFIX and the rest):
#   com-test.sh register DLL [user]       regsvr32 (per user: /n /i:user)
#   com-test.sh unregister DLL [user] KEY...
#                                         regsvr32 /u, then each registry KEY must be gone
#   com-test.sh user-cycle DLL KEY...     regsvr32 /n /i:user, each KEY must be there, then
#                                         regsvr32 /u /n /i:user, each KEY must be gone
#   com-test.sh script FILE [ARG...]      cscript //nologo FILE ARG...
# Paths are given as Unix paths and handed to Windows programs in their Windows form.
set -euo pipefail

action="$1"
shift
win() { winepath -w "$1" 2>/dev/null; }

case "$action" in
  register)
    if [[ "${2:-}" == user ]]; then
      wine regsvr32 /s /n /i:user "$(win "$1")"
    else
      wine regsvr32 /s "$(win "$1")"
    fi
    echo "registered $1"
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
  script)
    file="$1"
    shift
    args=()
    for arg in "$@"; do
      if [[ "$arg" == /* ]]; then args+=("$(win "$arg")"); else args+=("$arg"); fi
    done
    exec wine cscript //nologo "$(win "$file")" "${args[@]}"
    ;;
  *)
    echo "usage: $0 register|unregister|script ..." >&2
    exit 2
    ;;
esac
