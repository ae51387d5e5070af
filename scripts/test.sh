#!/usr/bin/env bash
# Builds everything with warnings as errors and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DKESTRUNE_WERROR=ON >/dev/null
cmake --build "$build"
ctest --test-dir "$build" --output-on-failure -j2
