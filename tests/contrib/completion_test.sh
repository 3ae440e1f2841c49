#!/usr/bin/env bash
# The bash completion of sweepwell, driven as bash drives it (COMP_WORDS, COMP_CWORD) in a
# temporary folder of scripts, other files and folders.
#   completion_test.sh COMPLETION_FILE
set -uo pipefail

source "$1"
work="$(mktemp -d "${TMPDIR:-/tmp}/sweepwell-completion.XXXXXX")"
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
mkdir scripts "old scripts"
touch daily.loom "my script.loom" notes.txt -- -odd.loom scripts/weekly.loom

failures=0
# expect "WORDS..." "EXPECTED" : completes the last word of the command line; the expected
# replies are sorted and joined by "|".
expect() {
  read -r -a COMP_WORDS <<<"$1"
  [[ "$1" == *" " ]] && COMP_WORDS+=("")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _sweepwell
  local got
  got="$(printf '%s\n' "${COMPREPLY[@]}" | sort | paste -sd '|')"
  if [[ "$got" != "$2" ]]; then
    echo "FAIL: '$1' completes to '$got', expected '$2'"
    failures=$((failures + 1))
  fi
}

# Options: all of them first; after the script only those that may follow it.
expect "sweepwell --" "--help|--no-long|--no-pause|--no-preserve-root|--preview|--version"
expect "sweepwell --no-p" "--no-pause|--no-preserve-root"
expect "sweepwell --no-pr" "--no-preserve-root"
expect "sweepwell daily.loom --" "--no-long|--no-pause|--no-preserve-root|--preview"
expect "sweepwell --no-long daily.loom -" "--no-long|--no-pause|--no-preserve-root|--preview"
# Scripts and folders, names with blanks kept whole; other files are not offered.
expect "sweepwell " "-odd.loom|daily.loom|my script.loom|old scripts|scripts"
expect "sweepwell my" "my script.loom"
expect "sweepwell scripts/" "scripts/weekly.loom"
expect "sweepwell /NoLong d" "daily.loom"
expect "sweepwell --preview /nolong d" "daily.loom"
expect "sweepwell /NoPreserveRoot d" "daily.loom"
# Nothing after a script, after the options that end the run, or a second script.
expect "sweepwell daily.loom " ""
expect "sweepwell --help " ""
expect "sweepwell /? " ""
# After "--" a name that starts with "-" is a script.
expect "sweepwell -- -" "-odd.loom"

[[ $failures -eq 0 ]] && echo "completion test passed"
exit $((failures > 0))
