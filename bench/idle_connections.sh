#!/usr/bin/env bash
# How long `kestrune volume get` takes while COUNT other clients hold
# connections open without sending a whole request (silent ones, and ones
# stopped halfway through a length prefix), against kestrune-sim (or
# kestruned with DAEMON=1, which shares the server).
#
#   bench/idle_connections.sh [BUILD_DIR] [COUNT]     (defaults: build, 1000)
set -euo pipefail
# shellcheck source=bench/lib.sh
. "$(dirname "$0")/lib.sh"

build=${1:-build}
count=${2:-1000}
bench_scratch TERM
bench_cli_server "$build"

ulimit -n $((count + 64)) 2>/dev/null || true
/usr/bin/env python3 - "$socket" "$count" "$build/kestrune" <<'PY'
import socket, subprocess, sys, time
path, count, cli = sys.argv[1], int(sys.argv[2]), sys.argv[3]
held = []
for i in range(count):
    s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    s.connect(path)
    if i % 2:
        s.send(b"\0\0")  # half a length prefix, then nothing
    held.append(s)
times = []
for _ in range(20):
    start = time.perf_counter()
    subprocess.run([cli, "volume", "get", "--socket", path], check=True, stdout=subprocess.DEVNULL)
    times.append((time.perf_counter() - start) * 1000)
times.sort()
print(f"kestrune volume get with {count} idle connections open: "
      f"median {times[len(times) // 2]:.2f} ms, worst {times[-1]:.2f} ms (20 runs)")
PY
