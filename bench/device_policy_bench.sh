#!/usr/bin/env bash
# devices.json's policy on a private PulseAudio and a private PipeWire
# (SERVER=pulseaudio or pipewire for one of them), with one playback stream:
#   - a device plugged in (a null sink "usbdac" loaded, ranked first,
#     switchOnConnect on) until the server shows it as the default with the
#     stream on it, and back to "speakers" when it is unloaded: median and
#     99th percentile over PLUGS plugs (bench/device_policy_probe.c, one
#     libpulse connection of its own)
#   - an output raised above maxVolume until the server shows it at the cap,
#     over PLUGS changes
#   - the daemon's wake-ups while idle (context switches of all its threads
#     over IDLE_SECONDS)
#
#   bench/device_policy_bench.sh [BUILD_DIR] [PLUGS]     (defaults: build, 50)
set -euo pipefail

build=${1:-build}
plugs=${2:-50}
if [ -z "${SERVER:-}" ]; then
  for server in pulseaudio pipewire; do
    SERVER=$server "$0" "$build" "$plugs"
  done
  exit 0
fi
# shellcheck source=bench/lib.sh
. "$(dirname "$0")/lib.sh"
idle=${IDLE_SECONDS:-10}
for program in kestrune kestruned; do
  [ -x "$build/$program" ] || { echo "missing $build/$program (build it first)" >&2; exit 1; }
done

bench_scratch KILL
bench_private_home
if [ "$SERVER" = pipewire ]; then
  bench_pipewire
else
  bench_pulseaudio
fi
head -c $((44100 * 4 * 600)) /dev/zero >"$scratch/silence.raw"
pacat --raw --client-name=Music "$scratch/silence.raw" & pids+=($!)
for _ in $(seq 100); do
  [ "$(pactl list short sink-inputs | wc -l)" -ge 1 ] && break
  sleep 0.1
done
mkdir -p "$scratch/config"
cat >"$scratch/config/devices.json" <<'JSON'
{ "output": ["usbdac", "speakers"], "switchOnConnect": true, "maxVolume": 80 }
JSON
bench_kestruned "$build"
cc -O2 -Wall -Wextra -o "$scratch/device_policy_probe" "$(dirname "$0")/device_policy_probe.c" -lpulse

echo "server: $(pactl info | sed -n 's/^Server Name: //p')"
"$scratch/device_policy_probe" "$plugs"

bench_idle_wakeups "$idle" "  kestruned wake-ups while idle"
