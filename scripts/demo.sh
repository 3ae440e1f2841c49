#!/usr/bin/env bash
# Installs what is needed (scripts/setup.sh: the build's packages only), builds sweepwell and the
# file library, runs examples/demo.loom over a demo tree made in a fresh temporary folder, and
# lets the library's Python module look at the log the run left:  bash scripts/demo.sh
# Nothing outside that folder is touched: the tree, the trash and the log ($XDG_DATA_HOME) all
# live in it. It is left in place so you can look at it; the last lines say where.
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${BUILD_DIR:-$repo/build}"

bash "$repo/scripts/setup.sh"
# Only the light set of packages is there: no GoogleTest, so a new build folder is configured
# without the tests. A folder scripts/test.sh configured keeps its settings (it has them all).
configure=()
[[ -f "$build/CMakeCache.txt" ]] || configure=(-DORVANEL_TESTS=OFF)
cmake -S "$repo" -B "$build" -G Ninja "${configure[@]}" >/dev/null
cmake --build "$build" --target sweepwell quern0102 _quern quern_python >/dev/null

demo_root="$(mktemp -d "${TMPDIR:-/tmp}/sweepwell-demo.XXXXXX")"
tree="$demo_root/tree"

# The demo tree: something for every group of the script, and things that must stay.
mkdir -p "$tree"/{cache/thumbs,downloads,build-output/obj/debug,projects/app/src,links}
mkdir -p "$tree"/projects/old/{empty1,empty2/deeper} "$tree"/projects/notes
printf 'cached\n' >"$tree/cache/page1.tmp"
printf 'cached\n' >"$tree/cache/thumbs/img.tmp"
printf 'keep me\n' >"$tree/cache/settings.conf"
printf 'old installer\n' >"$tree/downloads/old-installer.zip"
printf 'new installer\n' >"$tree/downloads/new-installer.zip"
touch -d '40 days ago' "$tree/downloads/old-installer.zip"
for i in 1 2 3; do printf 'object %s\n' "$i" >"$tree/build-output/obj/debug/unit$i.o"; done
printf 'int main() {}\n' >"$tree/projects/app/src/main.c"
printf 'int main() {}\n' >"$tree/projects/app/src/main.c~"
printf 'draft\n' >"$tree/projects/notes/todo.txt.bak"
ln -s ../projects/app "$tree/links/app-shortcut"

echo "Demo tree before the run (in $tree):"
(cd "$tree" && find . -mindepth 1 | sort | sed 's/^/  /')
echo

# Run from inside the demo folder, with stdin from /dev/null (no key prompt at the end).
cd "$demo_root"
status=0
DEMO="$tree" XDG_DATA_HOME="$demo_root/data" \
  "$build/bin/sweepwell" "$repo/examples/demo.loom" </dev/null || status=$?

echo
echo "Demo tree after the run:"
(cd "$tree" && find . -mindepth 1 | sort | sed 's/^/  /')
log="$(find "$demo_root/data" -name 'Sweep *.LOG' -print -quit)"
echo
echo "Exit status: $status"
echo "Trash:       $demo_root/data/Trash (restorable files)"
echo "Log:         ${log:-none written}"
if [[ -n "$log" ]]; then
  echo
  echo "--- the log (the same lines as the console above) ---"
  cat "$log"
  echo "--- end of the log ---"
  echo
  echo "--- the log through the file library (Python module quern) ---"
  PYTHONPATH="$build/python" python3 - "$log" <<'PY'
import sys
import quern

log = sys.argv[1]
encoding, bom, invert = quern.Ref(), quern.Ref(), quern.Ref()
quern.GetFileFormat2(log, True, encoding, bom, invert)
print("format:      ", encoding.value.name, bom.value.name, invert.value.name)
error = quern.Ref(0)
state = quern.GetFileCompression(log, error)
print("compression: ", state.name if error.value == 0 else "not on this file system (error %d)" % error.value)
text = quern.GetFile2(log)
print("text:        ", len(text.splitlines()), "lines,", len(text), "characters")
quern.SetFileDescription(log, "Sweepwell's log of this month")
print("description: ", quern.GetFileDescription(log), "(kept in Descript.ion beside it)")
PY
fi
echo "Remove the demo folder when done:  rm -rf '$demo_root'"
exit "$status"
