#!/usr/bin/env bash
# kestrune-panel in one run, on a private PulseAudio, X display (Xvfb, no
# window manager: the panel's window is a child of the root window) and
# session bus, against the real kestruned:
#   1. cold start (with --show) to the tray item registered with a
#      StatusNotifierWatcher on that bus (bench/panel_tray_watcher.py), to the
#      panel's name (org.kestrune.Panel) on it (dbus-monitor), and to its
#      first frame (the window mapped, bench/panel_probe.c);
#   2. `kestrune panel toggle` to the window mapped, median of ROUNDS opens;
#   3. resident memory with 10 apps playing (paplay), the panel idle;
#   4. wake-ups (context switches of all its threads) while hidden and
#      nothing changes, over IDLE_SECONDS (default 10);
#   5. many apps (one libpulse client, bench/many_streams.c, holding a
#      stream per app under its own name), the panel open: its memory and
#      CPU time to take in 200 arriving at once; its CPU time for one app's
#      volume change (pactl set-sink-input-volume); the toggle to mapped
#      while 100 apps come and go every second; 20 cycles of 100 apps
#      arriving and leaving (memory before and after, CPU per cycle); one
#      app with a 10 KB name (window width, memory);
#   6. a change made with libpulse (pactl set-sink-volume) to the output
#      volume slider showing it, read through the accessibility tree
#      (bench/panel_volume_latency.py; the panel restarted with Qt's AT-SPI
#      bridge on, which 1-5 run without).
#
#   bench/panel_bench.sh [BUILD_DIR] [ROUNDS]     (defaults: build, 30)
set -euo pipefail
# shellcheck source=bench/lib.sh
. "$(dirname "$0")/lib.sh"

here=$(cd "$(dirname "$0")" && pwd)
build=${1:-build}
rounds=${2:-30}
idle=${IDLE_SECONDS:-10}
for program in "$build/kestrune" "$build/kestruned" "$build/kestrune-panel" \
  "$build/many_streams"; do
  [ -x "$program" ] || { echo "missing $program (build it first)" >&2; exit 1; }
done
for tool in Xvfb dbus-daemon dbus-monitor pulseaudio pactl paplay cc xdotool; do
  command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 1; }
done

bench_scratch TERM
bench_private_home
cc -O2 -Wall -Wextra -o "$scratch/panel_probe" "$here/panel_probe.c" -lX11

# The sound server, with one output.
bench_pulseaudio

# The display: a number no other server holds.
display=$((700 + $$ % 200))
while [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp 2>/dev/null &
pids+=($!)
for _ in $(seq 100); do [ -S "/tmp/.X11-unix/X$display" ] && break; sleep 0.05; done
export DISPLAY=":$display" QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY

# The session bus.
dbus-daemon --session --nofork --address="unix:path=$scratch/bus" --print-address=1 \
  >"$scratch/bus.address" 2>/dev/null &
pids+=($!)
for _ in $(seq 100); do [ -s "$scratch/bus.address" ] && break; sleep 0.05; done
export DBUS_SESSION_BUS_ADDRESS="unix:path=$scratch/bus"

bench_kestruned "$build"

echo "server: $(pactl info | sed -n 's/^Server Name: //p'), $(nproc) cores," \
  "load $(cut -d' ' -f1-3 /proc/loadavg)"

# Microseconds of the realtime clock, as the probe and dbus-monitor give them.
now_us() { echo "${EPOCHREALTIME/[.,]/}"; }
# Waits until FILE has more than COUNT lines matching WORD; prints the last one's time.
# (The file may not exist yet: its program is only starting.)
wait_line() {
  local file=$1 word=$2 count=$3 limit=$((SECONDS + 20))
  while [ "$(count_lines "$word" "$file")" -le "$count" ]; do
    [ $SECONDS -lt $limit ] || { echo "timed out waiting for $word" >&2; exit 1; }
    sleep 0.002
  done
  grep "^$word " "$file" | tail -n 1 | cut -d' ' -f2
}
count_lines() {
  local n
  n=$(grep -c "^$1 " "$2" 2>/dev/null) || true
  echo "${n:-0}"
}
ms() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", (b - a) / 1000 }'; }
median() { sort -n | awk '{ v[NR] = $1 } END { printf "%.1f", v[int((NR + 1) / 2)] }'; }

"$scratch/panel_probe" >"$scratch/probe.out" &
pids+=($!)
# Not in a pipeline: waiting for a pipeline waits for all of it, and the
# monitor never ends by itself.
stdbuf -oL dbus-monitor --address "$DBUS_SESSION_BUS_ADDRESS" \
  "type='signal',sender='org.freedesktop.DBus',member='NameOwnerChanged',arg0='org.kestrune.Panel'" \
  >"$scratch/monitor.out" 2>/dev/null &
pids+=($!)
wait_line "$scratch/probe.out" ready 0 >/dev/null
tray=no
if /usr/bin/python3 -c 'import dbus, gi' 2>/dev/null; then
  /usr/bin/python3 "$here/panel_tray_watcher.py" >"$scratch/tray.out" 2>"$scratch/tray.err" &
  pids+=($!)
  wait_line "$scratch/tray.out" ready 0 >/dev/null
  tray=yes
fi
sleep 0.5  # dbus-monitor's match in place

# 1: cold start.
start_cold=$(now_us)
"$build/kestrune-panel" --socket "$socket" --show 2>"$scratch/panel.log" &
panel=$!
pids+=("$panel")
mapped=$(wait_line "$scratch/probe.out" map 0)
# "signal time=1765350000.123456 sender=... member=NameOwnerChanged"; the
# monitor's own NameAcquired and NameLost come first.
name_owned() {
  sed -n 's/^signal time=\([0-9]*\)\.\([0-9]*\) .*member=NameOwnerChanged$/\1\2/p' \
    "$scratch/monitor.out" | head -n 1
}
limit=$((SECONDS + 20))
while [ -z "$(name_owned)" ]; do
  [ $SECONDS -lt $limit ] || { echo "timed out waiting for the panel's name" >&2; exit 1; }
  sleep 0.002
done
named=$(name_owned)
tray_line="not measured (python3-dbus missing: no watcher)"
if [ $tray = yes ]; then
  tray_line="$(ms "$start_cold" "$(wait_line "$scratch/tray.out" registered 0)") ms"
fi

# 2: toggles through kestruned; each open measured, each close waited for.
toggle() { "$build/kestrune" panel toggle --socket "$socket" >/dev/null; }
opens=()
for _ in $(seq "$rounds"); do
  closes=$(count_lines unmap "$scratch/probe.out")
  toggle
  wait_line "$scratch/probe.out" unmap "$closes" >/dev/null
  maps=$(count_lines map "$scratch/probe.out")
  start=$(now_us)
  toggle
  opens+=("$(ms "$start" "$(wait_line "$scratch/probe.out" map "$maps")")")
done

# 3: ten apps playing silence.
for i in $(seq 10); do
  paplay --raw --rate=44100 --channels=2 --format=s16le --client-name="App $i" \
    --property=application.name="App $i" </dev/zero &
  pids+=($!)
done
for _ in $(seq 100); do
  [ "$(pactl list short sink-inputs | wc -l)" -ge 10 ] && break
  sleep 0.05
done
sleep 2  # the rows drawn, the caches settled
rss_kb=$(awk '/^VmRSS/ { print $2 }' "/proc/$panel/status")

# 4: hidden, nothing changing.
closes=$(count_lines unmap "$scratch/probe.out")
toggle
wait_line "$scratch/probe.out" unmap "$closes" >/dev/null
sleep 1
switches() {
  local total=0 task
  for task in /proc/"$panel"/task/*; do
    total=$((total + $(awk '/^(voluntary|nonvoluntary)_ctxt_switches/ { s += $2 } END { print s }' \
      "$task/status")))
  done
  echo "$total"
}
before=$(switches)
sleep "$idle"
wakeups=$(($(switches) - before))

# 5: many apps, the panel open.
cpu_ms() {  # the panel's user and system time so far
  awk -v hz="$(getconf CLK_TCK)" '{ printf "%d", ($14 + $15) * 1000 / hz }' "/proc/$panel/stat"
}
rss_mb() { awk '/^VmRSS/ { printf "%.1f", $2 / 1024 }' "/proc/$panel/status"; }
# The panel's window: the widest of its windows named Kestrune (Qt's
# hidden helper windows share the name).
window_width() {
  local id
  for id in $(xdotool search --pid "$panel" --name '^Kestrune$' 2>/dev/null); do
    xdotool getwindowgeometry "$id" | sed -n 's/.*Geometry: \([0-9]*\)x.*/\1/p'
  done | sort -n | tail -n 1
}
# Waits until the panel's CPU time stands still for half a second.
settle() {
  local last now
  last=$(cpu_ms)
  while sleep 0.5; now=$(cpu_ms); [ "$now" != "$last" ]; do last=$now; done
}
# Starts COUNT apps named PREFIX N; waits until the sound server has them.
apps_start() {
  coproc APPS { exec "$build/many_streams" "$1" "${2:-Player}"; }
  pids+=("$APPS_PID")
  read -r _ <&"${APPS[0]}"
}
apps_stop() {
  local pid=$APPS_PID
  eval "exec ${APPS[1]}>&-"
  wait "$pid" 2>/dev/null || true
}
maps=$(count_lines map "$scratch/probe.out")
toggle
wait_line "$scratch/probe.out" map "$maps" >/dev/null
for i in $(seq 10); do kill "${pids[-$i]}" 2>/dev/null || true; done  # the ten paplays
sleep 1
settle
width_before=$(window_width)
cpu_before=$(cpu_ms)
apps_start 200
settle
arrival_cpu=$(($(cpu_ms) - cpu_before))
rss_200=$(rss_mb)
stream=$(pactl list short sink-inputs | awk '{ print $1 }' | tail -n 1)
change_cpus=()
for level in 31 42 53 64 75 36 47 58 69 80; do
  before=$(cpu_ms)
  pactl set-sink-input-volume "$stream" "$level%"
  settle
  change_cpus+=("$(($(cpu_ms) - before))")
done
apps_stop
settle

# Toggles while 100 apps come and go every second.
( while :; do
    "$build/many_streams" 100 Churn </dev/null >/dev/null 2>&1 & sleep 0.5; kill $! 2>/dev/null
    wait $! 2>/dev/null; sleep 0.5
  done ) &
churn=$!
pids+=("$churn")
churn_opens=()
for _ in $(seq 10); do
  closes=$(count_lines unmap "$scratch/probe.out")
  toggle
  wait_line "$scratch/probe.out" unmap "$closes" >/dev/null
  maps=$(count_lines map "$scratch/probe.out")
  start=$(now_us)
  toggle
  churn_opens+=("$(ms "$start" "$(wait_line "$scratch/probe.out" map "$maps")")")
done
kill "$churn" 2>/dev/null || true
wait "$churn" 2>/dev/null || true
sleep 1.5
settle

# 20 cycles of 100 apps arriving and leaving.
rss_cycles_before=$(rss_mb)
cycle_cpus=()
for _ in $(seq 20); do
  before=$(cpu_ms)
  apps_start 100 Cycle
  settle
  apps_stop
  settle
  cycle_cpus+=("$(($(cpu_ms) - before))")
done
rss_cycles_after=$(rss_mb)

# One app with a 10 KB name.
apps_start 1 "$(head -c 10240 /dev/zero | tr '\0' x)"
settle
width_long=$(window_width)
rss_long=$(rss_mb)
apps_stop

# 6: the panel again, with the accessibility bridge on.
kill -TERM "$panel"
wait "$panel" 2>/dev/null || true
slider="not measured (python3-pyatspi or at-spi2-core missing)"
if /usr/bin/python3 -c 'import pyatspi' 2>/dev/null && [ -x /usr/libexec/at-spi-bus-launcher ]; then
  QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$build/kestrune-panel" --socket "$socket" --show \
    2>"$scratch/panel2.log" &
  pids+=($!)
  read -r middle p90 worst < <(/usr/bin/python3 "$here/panel_volume_latency.py" speakers \
    "$rounds")
  slider="median $middle ms, p90 $p90 ms, max $worst ms"
  # What the session bus started for it (the accessibility bus's launcher,
  # its bus and registry), which outlive the session bus: stopped by pid.
  owner() {  # ADDRESS NAME: the process id of the name's owner
    busctl --address="$1" call org.freedesktop.DBus /org/freedesktop/DBus org.freedesktop.DBus \
      GetConnectionUnixProcessID s "$2" 2>/dev/null | cut -d' ' -f2 || true
  }
  a11y_address=$(busctl --address="$DBUS_SESSION_BUS_ADDRESS" call org.a11y.Bus /org/a11y/bus \
    org.a11y.Bus GetAddress 2>/dev/null | sed -n 's/^s "\(.*\)"$/\1/p' || true)
  for pid in "$(owner "$DBUS_SESSION_BUS_ADDRESS" org.a11y.Bus)" \
    "$(owner "$a11y_address" org.freedesktop.DBus)" \
    "$(owner "$a11y_address" org.a11y.atspi.Registry)"; do
    [ -n "$pid" ] && pids+=("$pid")
  done
fi

printf '%-64s %s\n' \
  "cold start to the tray item registered" "$tray_line" \
  "cold start to the panel's name on the session bus" "$(ms "$start_cold" "$named") ms" \
  "cold start to first frame (window mapped)" "$(ms "$start_cold" "$mapped") ms" \
  "panel toggle to window mapped, median of $rounds (aim <= 50 ms)" \
  "$(printf '%s\n' "${opens[@]}" | median) ms" \
  "pactl set-sink-volume to the slider showing it (aim <= 100 ms)" "$slider" \
  "VmRSS idle with 10 apps playing (aim <= 60 MB)" \
  "$(awk -v k="$rss_kb" 'BEGIN { printf "%.1f MB", k / 1024 }')" \
  "wake-ups while hidden, nothing changing, over $idle s (aim 0)" "$wakeups" \
  "200 apps arriving at once: panel VmRSS (aim <= 80 MB)" "$rss_200 MB" \
  "200 apps arriving at once: panel CPU to take them in (aim <= 300 ms)" "$arrival_cpu ms" \
  "one app's volume change: panel CPU, median of 10, in clock ticks (aim <= 16 ms)" \
  "$(printf '%s\n' "${change_cpus[@]}" | median) ms" \
  "panel toggle to mapped, 100 apps coming and going each second (aim <= 50 ms)" \
  "median $(printf '%s\n' "${churn_opens[@]}" | median) ms, max $(printf '%s\n' "${churn_opens[@]}" | sort -n | tail -n 1) ms" \
  "20 cycles of 100 apps: VmRSS before, after (aim after <= before + 5 MB)" \
  "$rss_cycles_before MB, $rss_cycles_after MB" \
  "20 cycles of 100 apps: panel CPU per cycle, first 5 and last 5" \
  "$(printf '%s ' "${cycle_cpus[@]:0:5}")/ $(printf '%s ' "${cycle_cpus[@]: -5}")ms" \
  "one app with a 10 KB name: window width before, with it; VmRSS (aim <= 80 MB)" \
  "$width_before px, $width_long px; $rss_long MB"
