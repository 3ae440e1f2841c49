#!/usr/bin/env bash
# Times reading the version resource of a large executable: orvFileVersion.ReadFile (a few
# positioned reads: headers, section table, resource directory, the resource) against pefile
# loading the same file with fast_load and parsing only its resource directory.
#
#   bash bench/version.sh              # a 100 MiB PE32+ image, resource section at the end
#   SIZE_MIB=500 REPS=21 bash bench/version.sh
#
# The file goes to a fresh folder on /dev/shm (else ${TMPDIR:-/tmp}), removed at the end. Both
# readers find it in the page cache. The library is the Release build of build-bench/;
# bench/quern_version.cpp is compiled against it here. pefile is Debian's (/usr/bin/python3).
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${BENCH_BUILD:-$repo/build-bench}"
size_mib="${SIZE_MIB:-100}"
reps="${REPS:-11}"
base=/dev/shm
[[ -d $base && -w $base ]] || base="${TMPDIR:-/tmp}"
work="$(mktemp -d "$base/quern-version-XXXXXX")"
trap 'rm -rf "$work"' EXIT

/usr/bin/python3 -c 'import pefile' 2>/dev/null || {
  echo "pefile is missing: apt-get install python3-pefile" >&2
  exit 1
}
cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVANEL_TESTS=OFF >/dev/null
cmake --build "$build" --target quern0102 >/dev/null
g++ -std=c++20 -O2 -I"$repo" -I"$repo/tests" "$repo/bench/quern_version.cpp" \
  -o "$work/quern_version" -L"$build/bin" -lquern0102 -Wl,-rpath,"$build/bin"

file="$work/big.dll"
"$work/quern_version" make "$file" "$size_mib"

read -r quern_seconds quern_text < <("$work/quern_version" read "$file" "$reps")

# pefile: median of the call alone (PE() with fast_load, then the resource directory, which
# also parses the version information), and of the whole process.
read -r pefile_seconds pefile_text < <(/usr/bin/python3 - "$file" "$reps" <<'PY'
import statistics, sys, time
import pefile
path, reps = sys.argv[1], int(sys.argv[2])
times = []
for _ in range(reps):
    start = time.perf_counter()
    pe = pefile.PE(path, fast_load=True)
    pe.parse_data_directories(directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
    text = pe.FileInfo[0][0].StringTable[0].entries[b"FileVersion"].decode()
    times.append(time.perf_counter() - start)
    pe.close()
print("%.9f %s" % (statistics.median(times), text))
PY
)
[[ $quern_text == "$pefile_text" ]] || echo "the readers disagree: $quern_text / $pefile_text" >&2

process_times=()
for ((i = 0; i < reps; i++)); do
  start=$(date +%s%N)
  /usr/bin/python3 -c 'import sys, pefile
pe = pefile.PE(sys.argv[1], fast_load=True)
pe.parse_data_directories(directories=[2])
print(pe.FileInfo[0][0].StringTable[0].entries[b"FileVersion"].decode())' "$file" >/dev/null
  end=$(date +%s%N)
  process_times+=("$(awk -v d=$((end - start)) 'BEGIN { printf "%.6f", d / 1e9 }')")
done
pefile_process=$(printf '%s\n' "${process_times[@]}" | sort -n | sed -n "$(((reps + 1) / 2))p")

# What a reader that takes in the whole file would pay at least: reading it once.
cat_times=()
for ((i = 0; i < reps; i++)); do
  start=$(date +%s%N)
  cat "$file" >/dev/null
  end=$(date +%s%N)
  cat_times+=("$(awk -v d=$((end - start)) 'BEGIN { printf "%.6f", d / 1e9 }')")
done
cat_seconds=$(printf '%s\n' "${cat_times[@]}" | sort -n | sed -n "$(((reps + 1) / 2))p")

echo "machine: $(nproc) cores, $(uname -sr), $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
echo "file: $(stat -c %s "$file") bytes on $(stat -f -c %T "$work"), median of $reps; version read: $quern_text"
echo
echo "| Reader | Time | Ratio (it / Quern) |"
echo "|---|---|---|"
awk -v q="$quern_seconds" 'BEGIN { printf "| orvFileVersion.ReadFile | %.1f µs | 1 |\n", q * 1e6 }'
awk -v q="$quern_seconds" -v p="$pefile_seconds" \
  'BEGIN { printf "| pefile PE(fast_load) + resource directory, in process | %.1f µs | %.0f |\n", p * 1e6, p / q }'
awk -v q="$quern_seconds" -v p="$pefile_process" \
  'BEGIN { printf "| the same as a python3 process | %.1f ms | %.0f |\n", p * 1e3, p / q }'
awk -v q="$quern_seconds" -v p="$cat_seconds" \
  'BEGIN { printf "| cat FILE > /dev/null (reading the whole file once) | %.1f ms | %.0f |\n", p * 1e3, p / q }'
