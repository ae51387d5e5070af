#!/usr/bin/env bash
# The time from `kestrune app eq set` with a parametric preset to the change
# being heard on the device's monitor, on a private PulseAudio (or PipeWire
# with SERVER=pipewire) with kestruned: see bench/eq_latency.py.
#
#   bench/eq_latency.sh [BUILD_DIR] [RUNS]     (defaults: build, 20)
set -euo pipefail
# shellcheck source=bench/lib.sh
. "$(dirname "$0")/lib.sh"

build=${1:-build}
runs=${2:-20}
for program in kestrune kestruned kestrune-eq.so; do
  [ -e "$build/$program" ] || { echo "missing $build/$program (build it first)" >&2; exit 1; }
done

bench_scratch TERM
bench_private_home
if [ "${SERVER:-pulseaudio}" = pipewire ]; then
  bench_pipewire
else
  bench_pulseaudio
fi
mkdir -p "$scratch/config"
cat >"$scratch/config/presets.json" <<'JSON'
{ "presets": [
  { "name": "open", "preamp": 0,
    "filters": [ { "type": "PK", "frequency": 1000, "gain": 0.5, "q": 1 } ] },
  { "name": "cut", "preamp": 0,
    "filters": [ { "type": "PK", "frequency": 1000, "gain": -12, "q": 1 } ] } ] }
JSON
bench_kestruned "$build"

# Ten minutes of a 1 kHz tone at -20 dB, 48 kHz stereo 16-bit.
python3 - "$scratch/tone.raw" <<'PY'
import math, struct, sys
frame = [struct.pack("<hh", v, v) for v in
         (round(3277 * math.sin(2 * math.pi * 1000 * i / 48000)) for i in range(48))]
with open(sys.argv[1], "wb") as out:
    out.write(b"".join(frame) * (1000 * 600))
PY
pacat --raw --rate=48000 --client-name=Tone --latency-msec=50 "$scratch/tone.raw" &
pids+=($!)
for _ in $(seq 100); do
  "$build/kestrune" app list --socket "$socket" 2>/dev/null | grep -q Tone && break
  sleep 0.1
done
python3 "$(dirname "$0")/eq_latency.py" "$build/kestrune" "$socket" "$runs"
