#!/usr/bin/env bash
# Runs every fuzz target for a bounded time, one after another, each in one
# process on one core.
#   fuzz/run.sh [seconds per target] [target...]
# New inputs collect in build-fuzz/corpus/<target> (the seeds in
# fuzz/corpus/<target> stay as they are); crashes and hangs are written to
# build-fuzz/artifacts/. Exits non-zero if any target fails.
set -uo pipefail
cd "$(dirname "$0")/.."
build=${FUZZ_BUILD_DIR:-build-fuzz}
seconds=${1:-60}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(reply_coding request_coding command_line client_reply state_file framing)
  targets+=(settings_file profiles_file device_order presets_file)
fi

status=0
mkdir -p "$build/artifacts" "$build/logs"
for target in "${targets[@]}"; do
  binary="$build/fuzz/${target}_fuzzer"
  if [ ! -x "$binary" ]; then
    echo "missing $binary: run fuzz/build.sh first" >&2
    exit 2
  fi
  mkdir -p "$build/corpus/$target"
  log="$build/logs/$target.log"
  echo "== $target: ${seconds}s"
  "$binary" "$build/corpus/$target" "fuzz/corpus/$target" \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=16384 \
    -print_final_stats=1 \
    -artifact_prefix="$build/artifacts/$target-" >"$log" 2>&1
  result=$?
  grep -E '^#[0-9]+.*(DONE|pulse)' "$log" | tail -1
  grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb' "$log"
  if [ $result -ne 0 ]; then
    echo "!! $target failed (status $result), see $log" >&2
    grep -E 'ERROR|invariant broken|SUMMARY' "$log" | head -5 >&2
    status=1
  fi
done
exit $status
