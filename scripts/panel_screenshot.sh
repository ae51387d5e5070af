#!/usr/bin/env bash
# Makes docs/panel.png, docs/panel-many-apps.png (40 apps: the list scrolls
# inside a window as tall as the screen) and docs/panel-dark.png (GTK's dark
# Adwaita through Qt's GTK platform theme): kestrune-panel against
# kestrune-sim on a private 1280x800 Xvfb display, pictured by the panel
# itself once it shows the state.
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
Xvfb ":$display" -screen 0 1280x800x24 -nolisten tcp &
pids+=($!)
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.05; done
export DISPLAY=":$display"
if command -v openbox >/dev/null; then openbox & pids+=($!); sleep 0.5; fi
# shot NAME STATE [VAR=VALUE...]: the panel against a simulator started from
# the state file STATE (its default state when there is none yet).
shot() {
  local name=$1 state=$2
  shift 2
  "$build/kestrune-sim" --socket "$work/sim.sock" --state "$state" &
  local sim=$!
  for _ in $(seq 100); do [ -S "$work/sim.sock" ] && break; sleep 0.05; done
  # A private session bus keeps the panel from finding one already running.
  env "$@" dbus-run-session -- "$build/kestrune-panel" --socket "$work/sim.sock" \
    --screenshot "$PWD/docs/$name"
  kill "$sim"
  wait "$sim" 2>/dev/null || true
  echo "docs/$name"
}
shot panel.png "$work/state.json" QT_QPA_PLATFORMTHEME=
shot panel-dark.png "$work/state.json" QT_QPA_PLATFORMTHEME=gtk3 GTK_THEME=Adwaita:dark
# The default state, saved by a change that changes nothing, with 34 apps more.
"$build/kestrune-sim" --socket "$work/sim.sock" --state "$work/state.json" &
sim=$!
for _ in $(seq 100); do [ -S "$work/sim.sock" ] && break; sleep 0.05; done
"$build/kestrune" silent-mode toggle --socket "$work/sim.sock" >/dev/null
"$build/kestrune" silent-mode toggle --socket "$work/sim.sock" >/dev/null
kill "$sim"
wait "$sim" 2>/dev/null || true
python3 - "$work/state.json" "$work/many.json" <<'PY'
import json, sys
state = json.load(open(sys.argv[1]))
names = ["Firefox", "Spotify", "Discord", "VLC media player", "Zoom Meeting", "Steam",
         "Telegram Desktop", "Thunderbird", "OBS Studio", "Rhythmbox", "Signal", "Slack",
         "Chromium", "Audacity", "Totem", "Lollypop", "Kdenlive", "Shortwave", "Elisa", "mpv"]
for i in range(34):
    state["apps"].append({"id": "extra%d" % i, "balance": 0, "muted": i % 9 == 4,
                          "volume": 40 + (i * 7) % 90,
                          "name": names[i % 20] + ("" if i < 20 else " (%d)" % (i // 20 + 1))})
json.dump(state, open(sys.argv[2], "w"))
PY
shot panel-many-apps.png "$work/many.json" QT_QPA_PLATFORMTHEME=
