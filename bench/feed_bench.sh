#!/usr/bin/env bash
# The live feed of kestruned, in one run on one private PulseAudio:
#   1. latency from the sound server's acknowledgement of a libpulse client's
#      volume change to kestrune-watch's `device` line, beside a shell loop
#      over `pactl subscribe` that runs `pactl get-sink-volume` per event
#      (bench/feed_latency.c, ROUNDS changes GAP_MS apart);
#   2. the lines kestrune-watch prints for 60 changes within one second;
#   3. kestruned's CPU time and wake-ups over BENCH_IDLE_SECONDS (default 60)
#      with 3 subscribers and nothing changing;
#   4. `kestrune volume get` while changes flow, with and without a subscriber
#      that never reads, and kestruned's resident memory across 2000 changes
#      with that subscriber connected.
#
#   bench/feed_bench.sh [BUILD_DIR] [ROUNDS]     (defaults: build, 200)
# GAP_MS (100) spaces the measured changes, RUNS (200) counts the runs of
# `kestrune volume get`, KESTRUNE_WATCH names another kestrune-watch binary.
set -euo pipefail
# shellcheck source=bench/lib.sh
. "$(dirname "$0")/lib.sh"

build=${1:-build}
rounds=${2:-200}
gap_ms=${GAP_MS:-100}
idle=${BENCH_IDLE_SECONDS:-60}
runs=${RUNS:-200}
watch_program=${KESTRUNE_WATCH:-$build/kestrune-watch}
for program in "$build/kestrune" "$build/kestruned" "$watch_program" "$build/feed_latency"; do
  [ -x "$program" ] || { echo "missing $program (build it first)" >&2; exit 1; }
done

bench_scratch KILL
bench_private_home

bench_pulseaudio

bench_kestruned "$build"

echo "server: $(pactl info | sed -n 's/^Server Name: //p'), $(nproc) cores," \
  "load $(cut -d' ' -f1-3 /proc/loadavg)"

# 1 and 2: feed_latency reads one kestrune-watch and runs pactl itself.
mkfifo "$scratch/watch.fifo"
"$watch_program" --socket "$socket" >"$scratch/watch.fifo" 2>"$scratch/watch.err" &
pids+=($!)
watch=$!
"$build/feed_latency" follow "$rounds" "$gap_ms" 60 <"$scratch/watch.fifo"
kill "$watch" 2>/dev/null || true
wait "$watch" 2>/dev/null || true

# The daemon's counters: CPU time in clock ticks, context switches of all its threads.
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$daemon/stat"; }
switches() {
  local total=0 task
  for task in /proc/"$daemon"/task/*; do
    total=$((total + $(awk '/^(voluntary|nonvoluntary)_ctxt_switches/ {s += $2} END {print s}' \
      "$task/status")))
  done
  echo "$total"
}
rss() { awk '/^VmRSS/ {print $2}' "/proc/$daemon/status"; }

# 3: three subscribers, nothing changing.
for _ in 1 2 3; do
  "$watch_program" --socket "$socket" >/dev/null 2>&1 &
  pids+=($!)
done
sleep 1
ticks_before=$(cpu_ticks)
switches_before=$(switches)
sleep "$idle"
ticks_after=$(cpu_ticks)
switches_after=$(switches)
awk -v t=$((ticks_after - ticks_before)) -v hz="$(getconf CLK_TCK)" \
  -v w=$((switches_after - switches_before)) -v s="$idle" 'BEGIN {
  printf "idle with 3 subscribers, %d s: kestruned CPU %.0f ms (utime+stime), %d wake-ups\n",
         s, t * 1000 / hz, w
}'

# 4: a subscriber that never reads.
median_get() {  # the median in ms of $runs runs of `kestrune volume get`
  local times=() start end
  for _ in $(seq "$runs"); do
    start=${EPOCHREALTIME/[.,]/}
    "$build/kestrune" volume get --socket "$socket" >/dev/null
    end=${EPOCHREALTIME/[.,]/}
    times+=($((end - start)))
  done
  printf '%s\n' "${times[@]}" | sort -n | awk '{v[NR]=$1} END {printf "%.3f", v[int((NR+1)/2)] / 1e3}'
}
flow_changes() {  # count gap_ms: changes in the background, its pid in $flow
  "$build/feed_latency" flow "$1" "$2" &
  flow=$!
  pids+=("$flow")
}

flow_changes 100000 10
without=$(median_get)
kill "$flow"
wait "$flow" 2>/dev/null || true

/usr/bin/env python3 - "$socket" "$scratch/stuck.done" >"$scratch/stuck.out" <<'PY' &
import os, socket, struct, sys, time
path, done = sys.argv[1], sys.argv[2]
s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
s.connect(path)
body = b'{"subscribe":{}}'
s.sendall(struct.pack(">I", len(body)) + body)
print("subscribed", flush=True)
while not os.path.exists(done):  # never reads until told the run is over
    time.sleep(0.1)
s.setblocking(False)
received, closed = 0, False
try:
    while True:
        chunk = s.recv(1 << 16)
        if not chunk:
            closed = True
            break
        received += len(chunk)
except BlockingIOError:
    pass
print("dropped" if closed else "connected", received, flush=True)
PY
stuck=$!
pids+=("$stuck")
for _ in $(seq 100); do grep -q subscribed "$scratch/stuck.out" && break; sleep 0.05; done
sleep 0.5
rss_before=$(rss)
flow_changes 2000 10
flow_started=$SECONDS
with=$(median_get)
wait "$flow"
flow_seconds=$((SECONDS - flow_started))
sleep 0.5
rss_after=$(rss)
touch "$scratch/stuck.done"
wait "$stuck"
read -r stuck_state stuck_bytes < <(tail -n 1 "$scratch/stuck.out")

echo "kestrune volume get while changes flow (one each 10 ms), median of $runs runs:"
printf '  %-52s %8s ms\n' "without a stuck subscriber" "$without" \
  "with a subscriber that never reads" "$with"
echo "kestruned VmRSS with the stuck subscriber: $rss_before kB before, $rss_after kB after" \
  "2000 changes (~${flow_seconds} s); the stuck subscriber was $stuck_state" \
  "($stuck_bytes bytes read when it finally read)"
