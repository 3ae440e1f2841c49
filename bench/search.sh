#!/usr/bin/env bash
# Times Quern0102's file search against find and fd on the same tree: RefreshEx2(root, "*")
# over a generated tree of about 200 000 entries against `find root` and `fdfind -u . root`
# listing it (both print every path, to /dev/null). find and fd only read the folders; the
# search also asks each entry for its attributes, times and size (one statx), so `du -s` and a
# `find -printf` of sizes and times, which do the same, are timed too. The search makes those
# calls for plain files on a worker thread while it lists the folders, so it needs a second
# core that is free: the load average at the start is printed with the results.
#
#   bash bench/search.sh              # 200 080 entries, median of 5 runs
#   FILES=100 REPS=3 bash bench/search.sh
#
# The tree goes to a fresh folder on /dev/shm (else ${TMPDIR:-/tmp}), removed at the end, so the
# numbers are the programs' own work. The library is the Release build of build-bench/ (as
# bench/run.sh makes it); bench/quern_search.cpp is compiled against it here. Two Quern0102
# figures are given: the call alone (what a client waits for), and the whole program (loading
# the library, the call, and freeing the 200 000 objects of the result at exit), which is what
# the tools' times contain.
set -euo pipefail
load_at_start="$(cut -d' ' -f1-3 /proc/loadavg)"

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${BENCH_BUILD:-$repo/build-bench}"
files="${FILES:-197}"
reps="${REPS:-5}"
base=/dev/shm
[[ -d $base && -w $base ]] || base="${TMPDIR:-/tmp}"
work="$(mktemp -d "$base/quern-search-XXXXXX")"
trap 'rm -rf "$work"' EXIT

if ! command -v fdfind >/dev/null; then
  apt-get install -y fd-find >/dev/null 2>&1 || echo "fd-find could not be installed" >&2
fi

cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVANEL_TESTS=OFF >/dev/null
cmake --build "$build" --target quern0102 >/dev/null
g++ -std=c++20 -O2 -I"$repo" "$repo/bench/quern_search.cpp" -o "$work/quern_search" \
  -L"$build/bin" -lquern0102 -Wl,-rpath,"$build/bin"

# 10 x 10 x 10 folders, FILES files in each leaf and in each first-level folder.
python3 "$repo/bench/make_tree.py" "$work/tree" --files "$files" >/dev/null
tree="$work/tree"

# Every tool must see the same entries: find also prints the root itself.
entries=$(( $(find "$tree" | wc -l) - 1 ))
found=$("$work/quern_search" --count "$tree" 2>&1 >/dev/null)
[[ "$found" == "$entries" ]] || echo "Quern0102 found $found entries, find $entries" >&2
if command -v fdfind >/dev/null; then
  fd_found=$(fdfind -u . "$tree" | wc -l)
  [[ "$fd_found" == "$entries" ]] || echo "fd found $fd_found entries, find $entries" >&2
fi

# The programs, as (label, command) pairs; "CALL" stands for quern_search's own report of the
# call alone. Each repetition runs every program once, in this order, so that a busy machine
# slows them all alike.
labels=("find root > /dev/null")
commands=("find '$tree'")
if command -v fdfind >/dev/null; then
  labels+=("fdfind -u . root > /dev/null ($(nproc) threads)" "fdfind -u -j1 . root > /dev/null")
  commands+=("fdfind -u . '$tree'" "fdfind -u -j1 . '$tree'")
fi
# References that, like the search, look at every entry (one fstatat each) for sizes and times.
labels+=("du -s root" "find root -printf '%s %T@ %A@' (one fstatat per entry)")
commands+=("du -s '$tree'" "find '$tree' -printf '%s %T@ %A@\\n'")
labels+=("Quern0102 RefreshEx2(root, \"*\"), the call" "Quern0102, the whole program")
commands+=("CALL" "'$work/quern_search' '$tree'")

# Wall seconds of one shell command.
seconds_of() {
  local start end
  start=$(date +%s%N)
  bash -c "$1" >/dev/null
  end=$(date +%s%N)
  awk -v d=$((end - start)) 'BEGIN { printf "%.4f", d / 1e9 }'
}

declare -a runs
for ((i = 0; i < reps; i++)); do
  for k in "${!commands[@]}"; do
    if [[ ${commands[k]} == CALL ]]; then
      runs[k]+="$("$work/quern_search" "$tree") "
    else
      runs[k]+="$(seconds_of "${commands[k]}") "
    fi
  done
done

sorted() { tr ' ' '\n' <<<"$1" | sed '/^$/d' | sort -n; }
median() { sorted "$1" | sed -n "$(((reps + 1) / 2))p"; }

find_median=$(median "${runs[0]}")
echo "machine: $(nproc) cores, $(uname -sr), $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
echo "tree: $entries entries on $(stat -f -c %T "$work"), median of $reps"
echo "load average at the start: $load_at_start"
echo
echo "| Program | seconds | ratio to find | runs (sorted) |"
echo "|---|---:|---:|---|"
for k in "${!commands[@]}"; do
  awk -v n="${labels[k]}" -v q="$(median "${runs[k]}")" -v f="$find_median" \
    -v r="$(sorted "${runs[k]}" | tr '\n' ' ' | sed 's/ $//')" 'BEGIN {
    printf "| %s | %.3f | %.2f | %s |\n", n, q, q / f, r }'
done
