#!/usr/bin/env bash
# Hostile neighbours against kestrune-sim (or kestruned with DAEMON=1, which
# shares the server):
#  1. `kestrune volume get` median and worst over RUNS calls while another
#     client sends 1 MB request bodies in a loop;
#  2. PARALLEL `kestrune app volume Music 40` started at once: how many were
#     answered, and how many failed (broken pipe, refused, timed out).
#
#   bench/hostile_load.sh [BUILD_DIR] [RUNS] [PARALLEL]   (defaults: build, 200, 500)
set -euo pipefail
# shellcheck source=bench/lib.sh
. "$(dirname "$0")/lib.sh"

build=${1:-build}
runs=${2:-200}
parallel=${3:-500}
bench_scratch TERM
bench_cli_server "$build"

ulimit -n $((parallel * 2 + 64)) 2>/dev/null || true
/usr/bin/env python3 - "$socket" "$runs" "$parallel" "$build/kestrune" <<'PY'
import os, socket, statistics, struct, subprocess, sys, threading, time
path, runs, parallel, cli = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]

stop = threading.Event()
def flood():
    body = b'{"setAppVolume":{"appID":"' + b"a" * 1_000_000 + b'","volume":30}}'
    frame = struct.pack(">I", len(body)) + body
    while not stop.is_set():
        s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        try:
            s.connect(path)
            s.sendall(frame)
            s.recv(65536)
        except OSError:
            pass
        finally:
            s.close()
flooder = threading.Thread(target=flood)
flooder.start()
times = []
for _ in range(runs):
    start = time.perf_counter()
    subprocess.run([cli, "volume", "get", "--socket", path], stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, check=False)
    times.append((time.perf_counter() - start) * 1000)
stop.set()
flooder.join()
print(f"volume get beside 1 MB bodies: median {statistics.median(times):.1f} ms, "
      f"worst {max(times):.1f} ms over {runs} calls")

procs = [subprocess.Popen([cli, "app", "volume", "Music", "40", "--socket", path],
                          stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
         for _ in range(parallel)]
failed = 0
reasons = {}
for p in procs:
    _, err = p.communicate()
    text = err.decode(errors="replace").strip()
    if p.returncode != 0 or text:
        failed += 1
        reasons[text[:80]] = reasons.get(text[:80], 0) + 1
print(f"{parallel} parallel invocations: {parallel - failed} answered, {failed} failed")
for reason, count in sorted(reasons.items(), key=lambda item: -item[1])[:3]:
    print(f"  {count} x {reason}")
PY
