#!/usr/bin/env bash
# Builds sweepwell in Release and times it against rm -rf, find -delete and gio trash on
# identical generated trees (bench/bench.py does the timing; bench/make_tree.py the trees).
#
#   bash bench/run.sh                 # about 101 000 files per tree, 3 runs per tool
#   REPS=5 FILES=100 bash bench/run.sh
#   SIZE=1m REPS=1 bash bench/run.sh  # 999 900 files per tree (990 in each of 1 010 folders)
#   BENCH_DIR=/tmp bash bench/run.sh  # on the disk instead of a tmpfs (see RESULTS.md)
#   MARKDOWN=bench/new.md bash bench/run.sh   # also append the table to a file
#   NO_TRASH=1 bash bench/run.sh      # the deleting pairs only (the trash pair takes minutes)
#
# Where the trees go: BENCH_DIR if set; otherwise /dev/shm when it is a writable tmpfs, else
# ${TMPDIR:-/tmp}. A tmpfs measures what the programs themselves cost (system calls, walking,
# the log and the console); on a disk mounted with `discard` every deleting tool mostly waits
# for the device. The trash pair needs a real file system (gio refuses to trash on a tmpfs):
# TRASH_DIR, else ${TMPDIR:-/tmp}. Everything is made under a fresh mktemp folder inside those
# and removed at the end; the log and the trash go to XDG_DATA_HOME inside it, never the
# user's own.
set -euo pipefail

# SIZE names a tree size instead of FILES: 100k (the default, 100 files per folder) or 1m.
case "${SIZE:-}" in
  "") ;;
  100k) FILES=100 ;;
  1m) FILES=990 ;;
  *) echo "run.sh: SIZE is 100k or 1m, not '$SIZE'" >&2; exit 2 ;;
esac

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${BENCH_BUILD:-$repo/build-bench}"

if [[ -z "${BENCH_DIR:-}" ]]; then
  if [[ "$(stat -f -c %T /dev/shm 2>/dev/null)" == tmpfs && -w /dev/shm ]]; then
    BENCH_DIR=/dev/shm
  else
    BENCH_DIR="${TMPDIR:-/tmp}"
  fi
fi

cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVANEL_TESTS=OFF >/dev/null
cmake --build "$build" --target sweepwell quern0102 >/dev/null

echo "machine: $(nproc) cores, $(uname -sr), $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
args=(--sweepwell "$build/bin/sweepwell" --dir "$BENCH_DIR" --trash-dir "${TRASH_DIR:-${TMPDIR:-/tmp}}"
      --reps "${REPS:-3}" --files "${FILES:-100}" --trash-files "${TRASH_FILES:-5}")
[[ -n "${MARKDOWN:-}" ]] && args+=(--markdown "$MARKDOWN")
[[ -n "${NO_TRASH:-}" ]] && args+=(--no-trash)
exec python3 "$repo/bench/bench.py" "${args[@]}"
