#!/usr/bin/env bash
# Builds the command-line tools and the simulator, starts kestrune-sim on a
# temporary socket and takes a short tour of kestrune against it. Installs a
# compiler, CMake and Ninja first when they are missing. The simulator is
# always stopped.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
install_packages build

build=${BUILD_DIR:-build}
# CMake's output is kept and shown only when configuring fails.
configure_log=$(mktemp "${TMPDIR:-/tmp}/kestrune-configure.XXXXXX")
if ! cmake -S . -B "$build" -G Ninja >"$configure_log" 2>&1; then
  cat "$configure_log" >&2
  rm -f "$configure_log"
  exit 1
fi
rm -f "$configure_log"
cmake --build "$build" --target kestrune kestrune-sim kestrune-watch

# Fixed width so help and tables look the same in every terminal.
export COLUMNS=100 LINES=40

workdir=$(mktemp -d "${TMPDIR:-/tmp}/kestrune-demo.XXXXXX")
SOCK="$workdir/cli.sock"
sim_pid=
watch_pid=
cleanup() {
  if [ -n "$watch_pid" ]; then
    kill "$watch_pid" 2>/dev/null || true
    wait "$watch_pid" 2>/dev/null || true
  fi
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  rm -rf "$workdir"
}
trap cleanup EXIT INT TERM

"$build/kestrune-sim" --socket "$SOCK" 2>"$workdir/sim.log" &
sim_pid=$!
for _ in $(seq 1 100); do
  [ -S "$SOCK" ] && break
  if ! kill -0 "$sim_pid" 2>/dev/null; then
    echo "kestrune-sim did not start:" >&2
    cat "$workdir/sim.log" >&2
    exit 1
  fi
  sleep 0.05
done
if [ ! -S "$SOCK" ]; then
  echo "kestrune-sim did not create $SOCK in time" >&2
  exit 1
fi

# --socket belongs to the leaf command, so it goes after the command words.
tour() {
  echo
  echo "\$ kestrune $*"
  "$build/kestrune" "$@" --socket "$SOCK" || echo "(exit status $?)"
}

tour status
tour volume set 40
tour volume
tour app list
tour device list
tour media info
tour volume --json

# The live feed: a status-bar line that follows the changes made meanwhile.
echo
echo "\$ kestrune-watch --format '{volume}% {output} {playing} {title}' &"
"$build/kestrune-watch" --socket "$SOCK" --format '{volume}% {output} {playing} {title}' \
  >"$workdir/watch.out" 2>&1 &
watch_pid=$!
sleep 0.3
tour volume set 65
tour media next
tour device set 4C-87-5D-12-9A-01
sleep 0.3
echo
echo "(what kestrune-watch printed meanwhile)"
cat "$workdir/watch.out"
