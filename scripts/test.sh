#!/usr/bin/env bash
# Installs what is needed, builds everything and runs all tests:  bash scripts/test.sh
# BUILD_DIR chooses the build folder (default: build in the repository).
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${BUILD_DIR:-$repo/build}"

bash "$repo/scripts/setup.sh"
cmake -S "$repo" -B "$build" -G Ninja -DORVANEL_WERROR=ON -DORVANEL_MANUALS=ON
cmake --build "$build"
ctest --test-dir "$build" --output-on-failure -j2
