#!/usr/bin/env bash
# Times the Windows program under Wine: Sweepwell.exe's delete-folder (deleted for good) of a
# tree of small files against `cmd /c rd /s /q` of an identical tree, in the same Wine session
# (one prefix, one wineserver kept for the whole run), each pair in alternating order.
#
#   bash bench/wine.sh                 # 20 000 files in 200 folders, median of 3
#   FILES=2000 REPS=5 bash bench/wine.sh
#
# The Windows build is build-win64/ (scripts/build-windows.sh makes it). Sweepwell.exe is a
# windowed program, so it runs under xvfb-run with /NoPause. The trees, the prefix and the home
# Wine sees are in a fresh folder under ${TMPDIR:-/tmp}, removed at the end; the times include
# the start of each program, which the same Wine session makes as cheap for both.
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
exe="${WINDOWS_BUILD:-$repo/build-win64}/bin/Sweepwell.exe"
files="${FILES:-20000}"
reps="${REPS:-3}"
[[ -x "$exe" || -f "$exe" ]] || { echo "no $exe: run scripts/build-windows.sh first" >&2; exit 1; }

source "$repo/bench/wine_session.sh"
wine_session sweepwell-wine-bench

make_tree() {  # FOLDER: $files files of 100 bytes in folders of 100
  python3 - "$1" "$files" <<'PY'
import os, sys
root, count = sys.argv[1], int(sys.argv[2])
payload = b"x" * 100
for i in range(count):
    folder = os.path.join(root, "d%03d" % (i // 100))
    if i % 100 == 0:
        os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "f%05d.tmp" % i), "wb") as out:
        out.write(payload)
PY
}

winpath() { echo "Z:${1//\//\\}"; }

now() { date +%s.%N; }

run_sweepwell() {
  local tree="$1" script="$work/delete.loom"
  printf 'cleaner.delete-to-recycle-bin = False\ncleaner.delete-folder = "%s"\ncleaner.done\n' \
    "$(winpath "$tree")" > "$script"
  local start end
  start="$(now)"
  xvfb-run -a wine "$exe" /NoPause "$(winpath "$script")" </dev/null >/dev/null 2>&1
  end="$(now)"
  [[ ! -e "$tree" ]] || { echo "Sweepwell.exe left $tree" >&2; exit 1; }
  echo "$end - $start" | bc
}

run_rd() {
  local tree="$1" start end
  start="$(now)"
  wine cmd /c rd /s /q "$(winpath "$tree")" </dev/null >/dev/null 2>&1
  end="$(now)"
  [[ ! -e "$tree" ]] || { echo "rd left $tree" >&2; exit 1; }
  echo "$end - $start" | bc
}

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR + 1) / 2)]}'; }

# A warm start for both: the first Wine program of a session pays for its start-up.
wine cmd /c ver </dev/null >/dev/null 2>&1 || true

sweep_times=() rd_times=()
for ((rep = 1; rep <= reps; ++rep)); do
  make_tree "$work/a"
  make_tree "$work/b"
  if ((rep % 2)); then
    sweep_times+=("$(run_sweepwell "$work/a")")
    rd_times+=("$(run_rd "$work/b")")
  else
    rd_times+=("$(run_rd "$work/b")")
    sweep_times+=("$(run_sweepwell "$work/a")")
  fi
done

sweep="$(printf '%s\n' "${sweep_times[@]}" | median)"
rd="$(printf '%s\n' "${rd_times[@]}" | median)"
cpu="$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
echo "processor: $cpu; $(wine --version); $files files, median of $reps"
printf '%-40s %8.3f s\n' "Sweepwell.exe delete-folder" "$sweep"
printf '%-40s %8.3f s\n' "cmd /c rd /s /q" "$rd"
printf '%-40s %8.2f\n' "ratio Sweepwell.exe / rd" "$(echo "$sweep / $rd" | bc -l)"
