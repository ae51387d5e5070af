# shellcheck shell=bash
# Shared start-up of the benches, sourced after `set -euo pipefail`:
# a scratch directory with a private home and runtime directory, a private
# sound server and kestruned on a private socket. What it starts is stopped
# by process id when the script ends.

# bench_scratch SIGNAL: makes $scratch and the pids list; on exit sends
# SIGNAL (KILL, or TERM for what must tidy up) to every pid, newest first,
# and removes $scratch.
bench_scratch() {
  bench_stop_signal=$1
  scratch=$(mktemp -d)
  pids=()
  trap bench_cleanup EXIT
}

# bench_private_home: a home and runtime directory in $scratch, so that the
# private servers below are found instead of the session's own.
bench_private_home() {
  export HOME="$scratch/home" XDG_RUNTIME_DIR="$scratch/run"
  mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
  chmod 700 "$XDG_RUNTIME_DIR"
}

bench_cleanup() {
  local i
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill -"$bench_stop_signal" "${pids[i]}" 2>/dev/null || true
    wait "${pids[i]}" 2>/dev/null || true  # returns at once for what is not a child
  done
  rm -rf "$scratch"
}

# bench_pulseaudio: a private PulseAudio with one null sink, "speakers", the
# default; PULSE_SERVER points at it.
bench_pulseaudio() {
  cat >"$scratch/server.pa" <<PA
load-module module-native-protocol-unix socket=$scratch/native auth-anonymous=1
PA
  pulseaudio -n -F "$scratch/server.pa" --daemonize=no --exit-idle-time=-1 --disable-shm=yes \
    --use-pid-file=no 2>/dev/null &
  pids+=($!)
  export PULSE_SERVER="unix:$scratch/native"
  bench_speakers
}

# bench_pipewire: PipeWire, WirePlumber and pipewire-pulse on a private
# session bus, with the same "speakers".
bench_pipewire() {
  export DBUS_SESSION_BUS_ADDRESS="unix:path=$scratch/bus"
  dbus-daemon --session --address="$DBUS_SESSION_BUS_ADDRESS" --nofork 2>/dev/null &
  pids+=($!)
  sleep 0.3
  pipewire 2>/dev/null &
  pids+=($!)
  sleep 0.5
  wireplumber 2>/dev/null &
  pids+=($!)
  pipewire-pulse 2>/dev/null &
  pids+=($!)
  export PULSE_SERVER="unix:$XDG_RUNTIME_DIR/pulse/native"
  bench_speakers
}

# bench_sound_server: the private server that $server names (pipewire, or
# else PulseAudio).
bench_sound_server() {
  if [ "${server:-pulseaudio}" = pipewire ]; then
    bench_pipewire
  else
    bench_pulseaudio
  fi
}

bench_speakers() {
  for _ in $(seq 100); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
  pactl load-module module-null-sink sink_name=speakers >/dev/null
  pactl set-default-sink speakers
}

# bench_kestruned BUILD: kestruned on $scratch/kestruned.sock with its
# configuration in $scratch/config; sets $socket and $daemon.
bench_kestruned() {
  socket="$scratch/kestruned.sock"
  "$1/kestruned" --socket "$socket" --config "$scratch/config" 2>"$scratch/kestruned.log" &
  daemon=$!
  pids+=("$daemon")
  for _ in $(seq 100); do [ -S "$socket" ] && break; sleep 0.05; done
  [ -S "$socket" ] || { cat "$scratch/kestruned.log" >&2; exit 1; }
}

# bench_cli_server BUILD: kestrune-sim, or with DAEMON=1 kestruned on the
# sound server this session already has, on $scratch/cli.sock; sets $socket.
bench_cli_server() {
  socket="$scratch/cli.sock"
  if [ -n "${DAEMON:-}" ]; then
    "$1/kestruned" --socket "$socket" --config "$scratch/config" 2>/dev/null &
  else
    "$1/kestrune-sim" --socket "$socket" 2>/dev/null &
  fi
  pids+=($!)
  for _ in $(seq 200); do [ -S "$socket" ] && break; sleep 0.05; done
  [ -S "$socket" ] || { echo "the server did not start on $socket" >&2; exit 1; }
}

# bench_idle_wakeups SECONDS LABEL: prints how often kestruned ($daemon) woke
# while idle for SECONDS (the context switches of all its threads).
bench_idle_wakeups() {
  local before after
  sleep 1
  before=$(bench_context_switches)
  sleep "$1"
  after=$(bench_context_switches)
  awk -v d=$((after - before)) -v s="$1" -v label="$2" \
    'BEGIN { printf "%s: %d in %d s (%.2f per second)\n", label, d, s, d / s }'
}

bench_context_switches() {
  local task total=0
  for task in /proc/"$daemon"/task/*; do
    total=$((total + $(awk '/^(voluntary|nonvoluntary)_ctxt_switches/ {s += $2} END {print s}' \
      "$task/status")))
  done
  echo "$total"
}
