#!/usr/bin/env bash
# Builds the fuzz targets with clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer into build-fuzz (or $FUZZ_BUILD_DIR).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${FUZZ_BUILD_DIR:-build-fuzz}
targets=(reply_coding_fuzzer request_coding_fuzzer command_line_fuzzer client_reply_fuzzer
         state_file_fuzzer framing_fuzzer)
targets+=(settings_file_fuzzer profiles_file_fuzzer device_order_fuzzer presets_file_fuzzer)
CC=${CC:-clang} CXX=${CXX:-clang++} cmake -S . -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTRUNE_FUZZ=ON \
  -DKESTRUNE_TESTS=OFF -DKESTRUNE_BENCHMARKS=OFF >/dev/null
ninja -C "$build" -j"${JOBS:-2}" "${targets[@]}"
