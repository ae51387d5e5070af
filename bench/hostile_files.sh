#!/usr/bin/env bash
# kestruned beside hostile configuration files, on one private PulseAudio:
# the median wall time of `kestrune volume get` while another client asks
# for the profiles in a loop, with profiles.json a symlink to /dev/zero, a
# FIFO, and a 50 MB file (and the daemon's resident memory after each);
# then the median of `app eq get` with 8,000 user presets.
#
#   bench/hostile_files.sh [BUILD_DIR] [RUNS]     (defaults: build, 50)
set -euo pipefail
# shellcheck source=bench/lib.sh
. "$(dirname "$0")/lib.sh"

build=${1:-build}
runs=${2:-50}
for program in kestrune kestruned; do
  [ -x "$build/$program" ] || { echo "missing $build/$program (build it first)" >&2; exit 1; }
done

bench_scratch KILL
bench_private_home

mkdir -p "$scratch/config"
bench_pulseaudio
head -c $((44100 * 4 * 300)) /dev/zero >"$scratch/silence.raw"
pacat --raw --client-name=Music "$scratch/silence.raw" & pids+=($!)

bench_kestruned "$build"
ask() { "$build/kestrune" "$@" --socket "$socket"; }
for _ in $(seq 100); do ask app volume Music >/dev/null 2>&1 && break; sleep 0.1; done

# Median wall time in milliseconds of RUNS runs of "$@".
median_ms() {
  local times=()
  for _ in $(seq "$runs"); do
    local start end
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1 || true
    end=$(date +%s%N)
    times+=($(((end - start) / 1000)))
  done
  printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {printf "%.1f", a[int((NR+1)/2)]/1000}'
}
rss_mb() { awk '/VmRSS/ {printf "%.0f", $2/1024}' "/proc/$daemon/status"; }

profiles="$scratch/config/profiles.json"
hostile() {
  local label=$1
  ( while true; do ask profile list >/dev/null 2>&1 || true; done ) &
  local loop=$!
  pids+=("$loop")
  echo "$label: volume get median $(median_ms ask volume get) ms," \
    "profile list median $(median_ms ask profile list) ms, daemon RSS $(rss_mb) MB"
  kill "$loop" 2>/dev/null || true
  wait "$loop" 2>/dev/null || true
  rm -f "$profiles"
}

echo "baseline: volume get median $(median_ms ask volume get) ms, RSS $(rss_mb) MB"
ln -s /dev/zero "$profiles"
hostile "profiles.json -> /dev/zero"
mkfifo "$profiles"
hostile "profiles.json a FIFO"
python3 -c "
import json
print(json.dumps({'profiles': [{'name': 'P%d' % i, 'apps': [{'app': 'Music', 'volume': 50}] * 20} for i in range(75000)]}))
" >"$profiles"
echo "($(($(stat -c %s "$profiles") / 1000000)) MB profiles.json)"
hostile "profiles.json of 50 MB"

python3 -c "
import json
print(json.dumps({'presets': [{'name': 'preset%d' % i, 'gains': [0, 1, 2, 3, 4, 4, 3, 2, 1, 0]} for i in range(8000)]}))
" >"$scratch/config/presets.json"
first=$(runs=1 median_ms ask app eq get Music)
echo "8000 presets: app eq get first (file read) $first ms," \
  "then median $(median_ms ask app eq get Music) ms, RSS $(rss_mb) MB"
