#!/usr/bin/env bash
# How long kestruned takes to exit on SIGTERM with many apps playing and two
# of them through an equaliser, on one private PulseAudio (or PipeWire with
# SERVER=pipewire): from the signal to the process's end, in which it puts
# the streams back and unloads its equalisers. Each run starts a fresh
# daemon; prints every run and the median.
#
#   bench/daemon_exit.sh [BUILD_DIR] [RUNS] [APPS]     (defaults: build, 5, 120)
set -euo pipefail
# shellcheck source=bench/lib.sh
. "$(dirname "$0")/lib.sh"

build=${1:-build}
runs=${2:-5}
apps=${3:-120}
server=${SERVER:-pulseaudio}
for program in kestrune kestruned; do
  [ -x "$build/$program" ] || { echo "missing $build/$program (build it first)" >&2; exit 1; }
done

bench_scratch KILL
bench_private_home
bench_sound_server

# One stream per app, "App 1" to "App N", all from one process
# (bench/many_streams.c).
# shellcheck disable=SC2046  # the flags are words of their own
cc -O2 -o "$scratch/many_streams" "$(dirname "$0")/many_streams.c" \
  $(pkg-config --cflags --libs libpulse)
"$scratch/many_streams" "$apps" App >"$scratch/streams.out" & pids+=($!)
for _ in $(seq 300); do
  grep -q ready "$scratch/streams.out" 2>/dev/null && break
  sleep 0.1
done
echo "server: $(pactl info | sed -n 's/^Server Name: //p'), $(pactl list short sink-inputs | wc -l) streams"

times=()
for run in $(seq "$runs"); do
  bench_kestruned "$build"
  # The configuration remembers the presets: each run puts them in place again.
  "$build/kestrune" app eq set "App 1" rock --socket "$socket" >/dev/null
  "$build/kestrune" app eq set "App 2" vocal --socket "$socket" >/dev/null
  eqs=$(pactl list short sinks | grep -c kestrune_eq || true)
  start=${EPOCHREALTIME/[.,]/}
  kill -TERM "$daemon"
  status=0
  wait "$daemon" || status=$?
  end=${EPOCHREALTIME/[.,]/}
  left=$(pactl list short sinks | grep -c kestrune_eq || true)
  times+=($((end - start)))
  awk -v t=$((end - start)) -v r="$run" -v e="$eqs" -v l="$left" -v s="$status" \
    'BEGIN { printf "  run %d: %7.1f ms (equalisers %d before, %d after; exit status %d)\n", r, t / 1e3, e, l, s }'
done
median=$(printf '%s\n' "${times[@]}" | sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}')
awk -v m="$median" -v n="$runs" -v a="$apps" \
  'BEGIN { printf "kestruned exit on SIGTERM with %d apps and 2 equalisers: %.1f ms (median of %d)\n", a, m / 1e3, n }'
