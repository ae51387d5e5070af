#!/usr/bin/env bash
# Whole-process wall time of `kestrune volume get` against the plain C client
# of the same exchange, both talking to kestrune-sim.
#
#   bench/cli_walltime.sh [BUILD_DIR] [RUNS]     (defaults: build, 500)
#
# Uses hyperfine when it is installed (unless LOOP=1); otherwise runs the two programs
# alternately RUNS times each and prints the mean time per run.
set -euo pipefail

build=${1:-build}
runs=${2:-500}
. "$(dirname "$0")/start_sim.sh"

cli=("$build/kestrune" volume get --socket "$socket")
plain=("$build/c_client" "$socket")
"${cli[@]}" >/dev/null
"${plain[@]}" >/dev/null

if [ -z "${LOOP:-}" ] && command -v hyperfine >/dev/null; then
  hyperfine --warmup 20 --runs "$runs" -N \
    "${cli[*]}" "${plain[*]}"
  exit 0
fi

cli_total=0
plain_total=0
for _ in $(seq "$runs"); do
  # Microseconds from bash itself: reading the clock starts no process.
  start=${EPOCHREALTIME/[.,]/}; "${cli[@]}" >/dev/null; end=${EPOCHREALTIME/[.,]/}
  cli_total=$((cli_total + end - start))
  start=${EPOCHREALTIME/[.,]/}; "${plain[@]}" >/dev/null; end=${EPOCHREALTIME/[.,]/}
  plain_total=$((plain_total + end - start))
done
awk -v c="$cli_total" -v p="$plain_total" -v n="$runs" 'BEGIN {
  printf "kestrune volume get: %.3f ms per run (%d runs)\n", c / n / 1e3, n
  printf "c_client:            %.3f ms per run (%d runs)\n", p / n / 1e3, n
  printf "ratio:               %.2f\n", c / p
}'
