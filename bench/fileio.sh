#!/usr/bin/env bash
# Times Quern0102's whole-file text and binary reading and writing against iconv and cat on the
# same files: GetFile2 and PutFile2 of a UTF-8 and a UTF-16 text, GetFileB against cat. Beside
# each time it prints the minor page faults of each side (Quern0102: the call's own, from
# getrusage; the tools: their whole run, from /usr/bin/time), since on a virtual machine the
# first touch of fresh memory can cost more than the work itself. Every run is a fresh process,
# so its first call is what is measured.
#
#   bash bench/fileio.sh              # 100 MiB and 200 MiB texts, median of 3 runs
#   SIZES="20" REPS=5 bash bench/fileio.sh
#   BEFORE_LIB=/path/to/older/bin bash bench/fileio.sh
#                                     # adds the same calls of an older libquern0102.so
#
# The files go to a fresh folder on /dev/shm (else ${TMPDIR:-/tmp}), removed at the end, so the
# numbers are the programs' own work and not the disk's. The library is the Release build of
# build-bench/ (as bench/run.sh makes it); bench/quern_io.cpp is compiled against it here.
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${BENCH_BUILD:-$repo/build-bench}"
sizes="${SIZES:-${SIZE_MIB:-100 200}}"
reps="${REPS:-3}"
before="${BEFORE_LIB:-}"
base=/dev/shm
[[ -d $base && -w $base ]] || base="${TMPDIR:-/tmp}"
work="$(mktemp -d "$base/quern-bench-XXXXXX")"
trap 'rm -rf "$work"' EXIT
[[ -x /usr/bin/time ]] || { echo "fileio.sh needs /usr/bin/time (Debian package time)" >&2; exit 1; }

cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVANEL_TESTS=OFF >/dev/null
cmake --build "$build" --target quern0102 >/dev/null
g++ -std=c++20 -O2 -I"$repo" "$repo/bench/quern_io.cpp" -o "$work/quern_io" \
  -L"$build/bin" -lquern0102 -Wl,-rpath,"$build/bin"
if [[ -n $before ]]; then
  g++ -std=c++20 -O2 -I"$repo" "$repo/bench/quern_io.cpp" -o "$work/quern_io_before" \
    -L"$before" -lquern0102 -Wl,-rpath,"$before"
fi

# A text of mixed Latin and Cyrillic lines (about one non-ASCII byte in three), with a mark.
make_texts() {  # size in MiB
  python3 - "$work/utf8.txt" "$1" <<'PY'
import sys
line = "Line %07d: the quick brown fox; Съешь же ещё этих мягких французских булок.\r\n"
target = int(sys.argv[2]) * 1024 * 1024
with open(sys.argv[1], "wb") as out:
    out.write(b"\xef\xbb\xbf")
    written, n = 3, 0
    while written < target:
        chunk = "".join(line % (n + i) for i in range(1000)).encode()
        out.write(chunk)
        written += len(chunk)
        n += 1000
PY
  tail -c +4 "$work/utf8.txt" > "$work/plain8.txt"
  { printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE "$work/plain8.txt"; } > "$work/utf16.txt"
  tail -c +3 "$work/utf16.txt" > "$work/plain16.txt"
}

# The median of "seconds faults" lines (each column on its own).
median_pair() {
  local lines
  lines="$(cat)"
  local s f
  s="$(cut -d' ' -f1 <<<"$lines" | sort -n | sed -n "$(((reps + 1) / 2))p")"
  f="$(cut -d' ' -f2 <<<"$lines" | sort -n | sed -n "$(((reps + 1) / 2))p")"
  echo "$s $f"
}

# Wall seconds and minor faults of a shell command's whole run.
tool() {
  for ((i = 0; i < reps; i++)); do
    /usr/bin/time -f "%e %R" -o "$work/time.txt" bash -c "$1" >/dev/null
    tail -1 "$work/time.txt"
  done | median_pair
}

# Seconds and faults quern_io itself reports (the call alone).
quern() {  # binary, arguments
  local binary="$1"
  shift
  for ((i = 0; i < reps; i++)); do "$work/$binary" "$@" 2>/dev/null; done | median_pair
}

row() {  # name, "quern seconds faults", tool name, "tool seconds faults", ["before seconds faults"]
  local q=($2) t=($4) b=(${5:-})
  local before_cell=""
  if [[ -n $before ]]; then
    before_cell="$(awk -v s="${b[0]}" -v f="${b[1]}" -v t="${t[0]}" 'BEGIN {
      printf " %.3f s, %d faults (%.2f) |", s, f, t / s }')"
  fi
  awk -v n="$1" -v q="${q[0]}" -v qf="${q[1]}" -v tn="$3" -v t="${t[0]}" -v tf="${t[1]}" \
    -v mib="$size_mib" -v bc="$before_cell" 'BEGIN {
    printf "| %s | %.3f s (%.0f MiB/s), %d faults | %s | %.3f s, %d faults | %.2f |%s\n",
      n, q, mib / q, qf, tn, t, tf, t / q, bc }'
}

measure() {  # row name, tool name, tool command, quern arguments...
  local name="$1" tool_name="$2" command="$3"
  shift 3
  local q t b=""
  q="$(quern quern_io "$@")"
  t="$(tool "$command")"
  [[ -n $before ]] && b="$(quern quern_io_before "$@")"
  row "$name" "$q" "$tool_name" "$t" "$b"
}

echo "machine: $(nproc) cores, $(uname -sr), $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
echo "huge pages: enabled $(cat /sys/kernel/mm/transparent_hugepage/enabled 2>/dev/null), defrag $(cat /sys/kernel/mm/transparent_hugepage/defrag 2>/dev/null)"
for size_mib in $sizes; do
  make_texts "$size_mib"
  echo
  echo "files: ${size_mib} MiB each on $(stat -f -c %T "$work"), median of $reps"
  echo
  header="| Operation | Quern0102 | Compared with | Its time | Ratio (it / Quern) |"
  rule="|---|---|---|---|---|"
  if [[ -n $before ]]; then
    header+=" Before (ratio) |"
    rule+="---|"
  fi
  echo "$header"
  echo "$rule"
  measure "GetFile2, UTF-8 -> text" "iconv UTF-8 -> UTF-16LE" \
    "iconv -f UTF-8 -t UTF-16LE '$work/plain8.txt' > /dev/null" get2 "$work/utf8.txt"
  measure "GetFile2, UTF-16 -> text" "iconv UTF-16LE -> UTF-8" \
    "iconv -f UTF-16LE -t UTF-8 '$work/plain16.txt' > /dev/null" get2 "$work/utf16.txt"
  measure "PutFile2, text -> UTF-8 file" "iconv UTF-16LE -> UTF-8 file" \
    "iconv -f UTF-16LE -t UTF-8 '$work/plain16.txt' > '$work/iconv8.txt'" \
    put2 "$work/utf16.txt" "$work/out8.txt" utf8
  cmp -s <(tail -c +4 "$work/out8.txt") "$work/iconv8.txt" || echo "PutFile2 UTF-8 differs from iconv" >&2
  measure "PutFile2, text -> UTF-16 file" "iconv UTF-8 -> UTF-16LE file" \
    "iconv -f UTF-8 -t UTF-16LE '$work/plain8.txt' > '$work/iconv16.txt'" \
    put2 "$work/utf8.txt" "$work/out16.txt" utf16
  cmp -s <(tail -c +3 "$work/out16.txt") "$work/iconv16.txt" || echo "PutFile2 UTF-16 differs from iconv" >&2
  measure "GetFileB" "cat > /dev/null" "cat '$work/utf8.txt' > /dev/null" getb "$work/utf8.txt"
  rm -f "$work"/out*.txt "$work"/iconv*.txt
done
