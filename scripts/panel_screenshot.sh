#!/usr/bin/env bash
# Makes docs/panel.png: kestrune-panel against kestrune-sim on a private
# Xvfb display, pictured by the panel itself once it shows the state.
#   scripts/panel_screenshot.sh [build dir]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cmake --build "$build" --target kestrune-panel kestrune-sim
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
display=99
while [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp &
pids+=($!)
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.05; done
export DISPLAY=":$display"
if command -v openbox >/dev/null; then openbox & pids+=($!); sleep 0.5; fi
"$build/kestrune-sim" --socket "$work/sim.sock" &
pids+=($!)
for _ in $(seq 100); do [ -S "$work/sim.sock" ] && break; sleep 0.05; done
# A private session bus keeps the panel from finding one already running.
dbus-run-session -- "$build/kestrune-panel" --socket "$work/sim.sock" \
  --screenshot "$PWD/docs/panel.png"
echo "docs/panel.png"
