#!/usr/bin/env bash
# Times Quern0102's whole-file text and binary reading and writing against iconv and cat on the
# same files: GetFile2 and PutFile2 of a UTF-8 and a UTF-16 text, GetFileB against cat.
#
#   bash bench/fileio.sh              # 200 MiB texts, median of 3 runs
#   SIZE_MIB=20 REPS=5 bash bench/fileio.sh
#
# The files go to a fresh folder on /dev/shm (else ${TMPDIR:-/tmp}), removed at the end, so the
# numbers are the programs' own work and not the disk's. The library is the Release build of
# build-bench/ (as bench/run.sh makes it); bench/quern_io.cpp is compiled against it here.
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${BENCH_BUILD:-$repo/build-bench}"
size_mib="${SIZE_MIB:-200}"
reps="${REPS:-3}"
base=/dev/shm
[[ -d $base && -w $base ]] || base="${TMPDIR:-/tmp}"
work="$(mktemp -d "$base/quern-bench-XXXXXX")"
trap 'rm -rf "$work"' EXIT

cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVANEL_TESTS=OFF >/dev/null
cmake --build "$build" --target quern0102 >/dev/null
g++ -std=c++20 -O2 -I"$repo" "$repo/bench/quern_io.cpp" -o "$work/quern_io" \
  -L"$build/bin" -lquern0102 -Wl,-rpath,"$build/bin"

# A text of mixed Latin and Cyrillic lines (about one non-ASCII byte in three), with a mark.
python3 - "$work/utf8.txt" "$size_mib" <<'PY'
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

# Median wall seconds of a shell command.
median_of() {
  local times=()
  for ((i = 0; i < reps; i++)); do
    local start end
    start=$(date +%s%N)
    bash -c "$1" >/dev/null
    end=$(date +%s%N)
    times+=("$(awk -v d=$((end - start)) 'BEGIN { printf "%.4f", d / 1e9 }')")
  done
  printf '%s\n' "${times[@]}" | sort -n | sed -n "$(((reps + 1) / 2))p"
}

# Median of the seconds quern_io itself reports (the call alone).
median_quern() {
  local times=()
  for ((i = 0; i < reps; i++)); do times+=("$("$work/quern_io" "$@" 2>/dev/null)"); done
  printf '%s\n' "${times[@]}" | sort -n | sed -n "$(((reps + 1) / 2))p"
}

row() {  # name, quern seconds, tool name, tool seconds
  awk -v n="$1" -v q="$2" -v t="$3" -v s="$4" -v mib="$size_mib" 'BEGIN {
    printf "| %s | %.3f s (%.0f MiB/s) | %s | %.3f s | %.2f |\n", n, q, mib / q, t, s, s / q }'
}

echo "machine: $(nproc) cores, $(uname -sr), $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
echo "files: ${size_mib} MiB each on $(stat -f -c %T "$work"), median of $reps"
echo
echo "| Operation | Quern0102 | Compared with | Its time | Ratio (it / Quern) |"
echo "|---|---|---|---|---|"
q=$(median_quern get2 "$work/utf8.txt")
t=$(median_of "iconv -f UTF-8 -t UTF-16LE '$work/plain8.txt' > /dev/null")
row "GetFile2, UTF-8 -> text" "$q" "iconv UTF-8 -> UTF-16LE" "$t"
q=$(median_quern get2 "$work/utf16.txt")
t=$(median_of "iconv -f UTF-16LE -t UTF-8 '$work/plain16.txt' > /dev/null")
row "GetFile2, UTF-16 -> text" "$q" "iconv UTF-16LE -> UTF-8" "$t"
q=$(median_quern put2 "$work/utf16.txt" "$work/out8.txt" utf8)
t=$(median_of "iconv -f UTF-16LE -t UTF-8 '$work/plain16.txt' > '$work/iconv8.txt'")
cmp -s <(tail -c +4 "$work/out8.txt") "$work/iconv8.txt" || echo "PutFile2 UTF-8 differs from iconv" >&2
row "PutFile2, text -> UTF-8 file" "$q" "iconv UTF-16LE -> UTF-8 file" "$t"
q=$(median_quern put2 "$work/utf8.txt" "$work/out16.txt" utf16)
t=$(median_of "iconv -f UTF-8 -t UTF-16LE '$work/plain8.txt' > '$work/iconv16.txt'")
cmp -s <(tail -c +3 "$work/out16.txt") "$work/iconv16.txt" || echo "PutFile2 UTF-16 differs from iconv" >&2
row "PutFile2, text -> UTF-16 file" "$q" "iconv UTF-8 -> UTF-16LE file" "$t"
q=$(median_quern getb "$work/utf8.txt")
t=$(median_of "cat '$work/utf8.txt' > /dev/null")
row "GetFileB" "$q" "cat > /dev/null" "$t"
