#!/usr/bin/env bash
# The bash completion of sweepwell, driven as bash drives it (COMP_WORDS, COMP_CWORD) in a
# temporary folder of scripts, other files and folders, with a data folder of recorded runs.
#   completion_test.sh COMPLETION_FILE
set -uo pipefail

source "$1"
work="$(mktemp -d "${TMPDIR:-/tmp}/sweepwell-completion.XXXXXX")"
trap 'rm -rf "$work"' EXIT
mkdir "$work/cwd"
cd "$work/cwd" || exit 1
mkdir scripts "old scripts"
touch daily.loom "my script.loom" notes.txt -- -odd.loom scripts/weekly.loom
# The recorded runs: two ordinary ones, one whose name has a blank, and things that are not runs.
undo="$work/data/Greyfen Works/Sweep Well/Undo"
mkdir -p "$undo/2026-12-09_10-00-00_7.undo" "$work/home"
touch "$undo/2026-12-07_09-15-02_4711.undo" "$undo/2026-12-08_21-40-55_88.undo" \
  "$undo/my run.undo" "$undo/.undo" "$undo/2026-12-07.log" "$undo/2026-12-07_09-15-02_4711.lock"
export XDG_DATA_HOME="$work/data" HOME="$work/home"

failures=0
# expect "WORDS..." "EXPECTED" : completes the last word of the command line; the expected
# replies are sorted and joined by "|".
expect() {
  local words
  read -r -a words <<<"$1"
  [[ "$1" == *" " ]] && words+=("")
  expect_words "$2" "${words[@]}"
}
# expect_words "EXPECTED" WORD... : the same with the words given one by one, as bash has them
# (quotes and backslashes still in them).
expect_words() {
  local expected="$1"
  shift
  COMP_WORDS=("$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _sweepwell
  local got
  got="$(printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort | paste -sd '|')"
  if [[ "$got" != "$expected" ]]; then
    echo "FAIL: '$*' completes to '$got', expected '$expected'"
    failures=$((failures + 1))
  fi
}

# Options: all of them first (--undo only as the first word); after the script only those that
# may follow it.
expect "sweepwell -" \
  "--help|--no-long|--no-pause|--no-preserve-root|--preview|--undo|--version|-h"
expect "sweepwell --no-p" "--no-pause|--no-preserve-root"
expect "sweepwell --preview --" "--help|--no-long|--no-pause|--no-preserve-root|--preview|--version"
expect "sweepwell daily.loom --" "--no-long|--no-pause|--no-preserve-root|--preview"
expect "sweepwell --no-long daily.loom -" "--no-long|--no-pause|--no-preserve-root|--preview"
expect "sweepwell --no-preserve-root d" "daily.loom"
# The "/" forms, in any letter case, as the manual writes them; a script named after them still
# completes beside them.
expect "sweepwell /NoP" "/NoPause|/NoPreserveRoot"
expect "sweepwell /nopr" "/NoPreserveRoot"
expect "sweepwell /UnD" "/Undo"
expect "sweepwell daily.loom /NOL" "/NoLong"
expect "sweepwell /NoPreserveRoot /noL" "/NoLong"
expect "sweepwell /NoPreserveRoot d" "daily.loom"
expect "sweepwell /nolong /unD" ""
expect "sweepwell -- /NoP" ""

# --undo: --list and the recorded runs, and nothing after one of them. Folders, hidden names
# without a run, lock and other files are not runs.
runs="2026-12-07_09-15-02_4711|2026-12-08_21-40-55_88"
expect "sweepwell --undo " "--list|$runs|my run"
expect "sweepwell --undo 2026-12-08" "2026-12-08_21-40-55_88"
expect "sweepwell --undo -" "--list"
expect "sweepwell /undo /l" "/List"
expect "sweepwell /UNDO 2026" "$runs"
expect_words "my run" sweepwell --undo 'my\ r'
expect_words "my run" sweepwell --undo "'my r"
expect_words "my run" sweepwell --undo '"my r'
expect "sweepwell --undo --list " ""
expect "sweepwell --undo 2026-12-08_21-40-55_88 " ""
expect "sweepwell daily.loom --undo " ""
# The data folder as the program finds it: a relative XDG_DATA_HOME is ignored for the home's
# ~/.local/share; no recorded runs is only --list.
XDG_DATA_HOME=data expect "sweepwell --undo " "--list"
mkdir -p "$work/home/.local/share/Greyfen Works/Sweep Well/Undo"
touch "$work/home/.local/share/Greyfen Works/Sweep Well/Undo/2025-01-01_00-00-00_1.undo"
XDG_DATA_HOME=data expect "sweepwell --undo " "--list|2025-01-01_00-00-00_1"
XDG_DATA_HOME= expect "sweepwell --undo 2025" "2025-01-01_00-00-00_1"
# Whatever the user's glob options: no records is not an error, and a .UNDO file is no record.
touch "$undo/2026-12-10_08-00-00_5.UNDO"
shopt -s failglob nocaseglob
XDG_DATA_HOME="$work/nothing" expect "sweepwell --undo " "--list"
expect "sweepwell --undo 2026-12-1" ""
shopt -p failglob nocaseglob | grep -q -- "-s failglob" || {
  echo "FAIL: the completion changed the shell's glob options"
  failures=$((failures + 1))
}
shopt -u failglob nocaseglob
# Scripts and folders, names with blanks kept whole; other files are not offered.
expect "sweepwell " "-odd.loom|daily.loom|my script.loom|old scripts|scripts"
expect "sweepwell my" "my script.loom"
expect "sweepwell scripts/" "scripts/weekly.loom"
expect "sweepwell /NoLong d" "daily.loom"
expect "sweepwell --preview /nolong d" "daily.loom"
# Nothing after a script, after the options that end the run, or a second script.
expect "sweepwell daily.loom " ""
expect "sweepwell --help " ""
expect "sweepwell /? " ""
# After "--" a name that starts with "-" is a script.
expect "sweepwell -- -" "-odd.loom"

[[ $failures -eq 0 ]] && echo "completion test passed"
exit $((failures > 0))
