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
for program in kestrune kestrune-sim c_client; do
  [ -x "$build/$program" ] || { echo "missing $build/$program (build it first)" >&2; exit 1; }
done

scratch=$(mktemp -d)
socket="$scratch/cli.sock"
"$build/kestrune-sim" --socket "$socket" 2>/dev/null &
sim=$!
trap 'kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null; rm -rf "$scratch"' EXIT
for _ in $(seq 200); do
  [ -S "$socket" ] && break
  sleep 0.05
done
[ -S "$socket" ] || { echo "kestrune-sim did not start" >&2; exit 1; }

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
