#!/usr/bin/env bash
# Installs what is needed (scripts/setup.sh --tests: every package), builds everything and runs
# all tests:  bash scripts/test.sh
# BUILD_DIR chooses the build folder (default: build in the repository). The Windows programs
# are then cross-built for x86_64 and i686 (build-win64/, build-win32/) and the Windows tests
# run under Wine; SKIP_WINDOWS=1 leaves them out.
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${BUILD_DIR:-$repo/build}"

bash "$repo/scripts/setup.sh" --tests
# ORVANEL_TESTS=ON as well: a build folder scripts/demo.sh made first has the tests off.
cmake -S "$repo" -B "$build" -G Ninja -DORVANEL_TESTS=ON -DORVANEL_WERROR=ON -DORVANEL_MANUALS=ON
cmake --build "$build"
ctest --test-dir "$build" --output-on-failure -j2

if [[ "${SKIP_WINDOWS:-}" != 1 ]]; then
  bash "$repo/scripts/build-windows.sh" --test
fi
