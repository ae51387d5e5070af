#!/usr/bin/env bash
# Builds everything with warnings as errors and runs every test, after
# installing what the build and the tests need when it is missing. Ends with
# the tests that were skipped and why.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
. scripts/ctest.sh
install_packages build daemon tests panel desktop
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DKESTRUNE_WERROR=ON -DKESTRUNE_DAEMON=ON -DKESTRUNE_TESTS=ON \
  -DKESTRUNE_PANEL=ON
cmake --build "$build"
status=0
run_ctest "$build" 2 --output-junit junit.xml || status=$?
scripts/skipped_tests.sh "$build/junit.xml"
exit "$status"
