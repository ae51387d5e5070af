#!/usr/bin/env bash
# kestruned against pactl, side by side in one run on one private PulseAudio
# (or PipeWire with SERVER=pipewire) with 20 playback streams:
#   - `kestrune volume get` beside `pactl get-sink-volume @DEFAULT_SINK@`
#   - `kestrune app list`   beside `pactl list sink-inputs`
# (alternating, RUNS runs each, medians of whole-process wall time), then the
# daemon's resident memory and its wake-ups per second while idle (context
# switches of all its threads over IDLE_SECONDS).
#
#   bench/daemon_bench.sh [BUILD_DIR] [RUNS]     (defaults: build, 300)
set -euo pipefail
# shellcheck source=bench/lib.sh
. "$(dirname "$0")/lib.sh"

build=${1:-build}
runs=${2:-300}
idle=${IDLE_SECONDS:-10}
server=${SERVER:-pulseaudio}
for program in kestrune kestruned; do
  [ -x "$build/$program" ] || { echo "missing $build/$program (build it first)" >&2; exit 1; }
done

bench_scratch KILL
bench_private_home
bench_sound_server

# 20 streams of 10 apps: ten minutes of raw silence (44.1 kHz, stereo,
# 16-bit), long enough for the whole run.
head -c $((44100 * 4 * 600)) /dev/zero >"$scratch/silence.raw"
for i in $(seq 20); do
  pacat --raw --client-name="App$(((i + 1) / 2))" "$scratch/silence.raw" & pids+=($!)
done
for _ in $(seq 100); do
  [ "$(pactl list short sink-inputs | wc -l)" -ge 20 ] && break
  sleep 0.1
done

bench_kestruned "$build"

# Median wall time in microseconds of running "$@" alternately with another
# command; bash's clock starts no process.
declare -a timesA timesB
compare() {  # label-a label-b -- command-a... -- command-b...
  local labelA=$1 labelB=$2
  shift 3
  local a=() b=()
  while [ "$1" != -- ]; do a+=("$1"); shift; done
  shift
  b=("$@")
  "${a[@]}" >/dev/null; "${b[@]}" >/dev/null
  timesA=(); timesB=()
  for _ in $(seq "$runs"); do
    local start end
    start=${EPOCHREALTIME/[.,]/}; "${a[@]}" >/dev/null; end=${EPOCHREALTIME/[.,]/}
    timesA+=($((end - start)))
    start=${EPOCHREALTIME/[.,]/}; "${b[@]}" >/dev/null; end=${EPOCHREALTIME/[.,]/}
    timesB+=($((end - start)))
  done
  local medianA medianB
  medianA=$(printf '%s\n' "${timesA[@]}" | sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}')
  medianB=$(printf '%s\n' "${timesB[@]}" | sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}')
  awk -v a="$medianA" -v b="$medianB" -v la="$labelA" -v lb="$labelB" -v n="$runs" 'BEGIN {
    printf "  %-44s %8.3f ms\n  %-44s %8.3f ms\n  ratio: %.2f (median of %d runs each)\n",
           la, a / 1e3, lb, b / 1e3, a / b, n
  }'
}

echo "server: $(pactl info | sed -n 's/^Server Name: //p'), $(pactl list short sink-inputs | wc -l) streams"
echo "volume:"
compare "kestrune volume get (kestruned)" "pactl get-sink-volume @DEFAULT_SINK@" -- \
  "$build/kestrune" volume get --socket "$socket" -- pactl get-sink-volume @DEFAULT_SINK@
echo "apps:"
compare "kestrune app list (kestruned)" "pactl list sink-inputs" -- \
  "$build/kestrune" app list --socket "$socket" -- pactl list sink-inputs

rss=$(awk '/^VmRSS/ {print $2}' "/proc/$daemon/status")
echo "kestruned resident memory with 20 streams: $rss kB"

bench_idle_wakeups "$idle" "kestruned wake-ups while idle"
