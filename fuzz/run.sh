#!/usr/bin/env bash
# Builds the libFuzzer harnesses in build-fuzz/ (clang, coverage, AddressSanitizer and
# UndefinedBehaviorSanitizer over the whole library) and runs each for a bounded time, on a copy
# of its seed corpus so that the seeds in the repository stay as they are.
#
#   fuzz/run.sh [HARNESS...]      all harnesses when none is named
#   FUZZ_SECONDS=N                seconds per harness and pass (default 60)
#   FUZZ_BUILD_DIR=DIR            the build tree (default build-fuzz/ in the repository)
#   FUZZ_WORK_DIR=DIR             corpora, logs and crash inputs (default BUILD/fuzz-work)
#
# The harnesses that read text in the ANSI or OEM code page run a second pass in a legacy
# Russian locale (CP1251 / CP866), compiled with localedef into the build tree when it can be.
# Prints one line per harness and pass; exits non-zero when any harness found a crash.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${FUZZ_SECONDS:-60}
build=${FUZZ_BUILD_DIR:-$root/build-fuzz}
work=${FUZZ_WORK_DIR:-$build/fuzz-work}

# --- Tools -----------------------------------------------------------------------------------
pick() { for tool in "$@"; do command -v "$tool" >/dev/null 2>&1 && { echo "$tool"; return; }; done; }
cxx=$(pick clang++ clang++-14)
if [[ -z $cxx || ! -e $($cxx -print-file-name=libclang_rt.fuzzer-x86_64.a) ]]; then
  echo "installing clang-14 and libclang-rt-14-dev" >&2
  sudo=""
  [[ $(id -u) -ne 0 ]] && sudo=sudo
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq clang-14 libclang-rt-14-dev >/dev/null
  cxx=$(pick clang++ clang++-14)
fi
cc=${cxx/clang++/clang}
runtime_dir=$(dirname "$($cxx -print-file-name=libclang_rt.asan-x86_64.so)")

# --- Build -----------------------------------------------------------------------------------
CC=$cc CXX=$cxx cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DORVANEL_FUZZ=ON -DORVANEL_SANITIZE=ON -DORVANEL_TESTS=OFF \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link" \
  -DCMAKE_EXE_LINKER_FLAGS="-shared-libsan -Wl,-rpath,$runtime_dir" \
  -DCMAKE_SHARED_LINKER_FLAGS="-shared-libsan" \
  -DCMAKE_MODULE_LINKER_FLAGS="-shared-libsan" >/dev/null
nice -n 10 cmake --build "$build" --target fuzzers

# --- A legacy locale -------------------------------------------------------------------------
locales=$build/locales
if [[ ! -d $locales/ru_RU.CP1251 ]] && command -v localedef >/dev/null 2>&1; then
  mkdir -p "$locales"
  localedef -c -i ru_RU -f CP1251 "$locales/ru_RU.CP1251" >/dev/null 2>&1 || true
fi

# --- Runs ------------------------------------------------------------------------------------
# The longest input each harness is given: a little more than its format needs to show every
# path of its parser.
declare -A max_len=(
  [text_fuzzer]=4096 [descript_ion_fuzzer]=4096 [list_file_fuzzer]=4096
  [zone_ini_fuzzer]=2048 [exe_type_fuzzer]=1024 [pe_version_fuzzer]=16384
  [version_block_fuzzer]=8192 [script_fuzzer]=4096)
# The harnesses whose parsers read the ANSI or OEM code page.
legacy_pass=" text_fuzzer descript_ion_fuzzer list_file_fuzzer "

harnesses=("$@")
if [[ ${#harnesses[@]} -eq 0 ]]; then
  for binary in "$build"/fuzz/*_fuzzer; do harnesses+=("$(basename "$binary")"); done
fi

failed=0
run_one() {  # name pass-label [env...]
  local name=$1 label=$2
  shift 2
  local corpus=$work/corpus/$name artifacts=$work/artifacts/$name-$label log=$work/$name-$label.log
  mkdir -p "$corpus" "$artifacts"
  [[ -d $root/fuzz/corpus/$name ]] && { cp -n "$root/fuzz/corpus/$name"/* "$corpus"/ 2>/dev/null || true; }
  local status=0
  env "$@" nice -n 10 "$build/fuzz/$name" -max_total_time="$seconds" \
    -max_len="${max_len[$name]:-4096}" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$artifacts/" "$corpus" >"$log" 2>&1 || status=$?
  local runs cov
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  cov=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$log" | tail -1)
  if [[ $status -eq 0 ]]; then
    printf '%-22s %-7s ok     %10s runs  %s  corpus %s\n' "$name" "$label" "${runs:-?}" \
      "${cov:-}" "$(ls "$corpus" | wc -l)"
  else
    failed=1
    printf '%-22s %-7s CRASH  exit %s, input in %s, log %s\n' "$name" "$label" "$status" \
      "$(ls -t "$artifacts" | head -1)" "$log"
  fi
}

for name in "${harnesses[@]}"; do
  [[ -x $build/fuzz/$name ]] || { echo "$name: no such harness" >&2; failed=1; continue; }
  run_one "$name" utf8 LC_ALL=C.UTF-8
  if [[ $legacy_pass == *" $name "* && -d $locales/ru_RU.CP1251 ]]; then
    run_one "$name" cp1251 LOCPATH="$locales" LC_ALL=ru_RU.CP1251
  fi
done
exit $failed
