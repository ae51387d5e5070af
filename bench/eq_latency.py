#!/usr/bin/env python3
"""From `kestrune app eq set` with a parametric preset to the change being
heard on the device's monitor. A 1 kHz tone plays; the preset alternates
between one that cuts 1 kHz by 12 dB and one that leaves it alone (both
parametric). The monitor is read in 5 ms windows as it arrives; the time
is from just before the command starts to the arrival of the first window
whose level is past the midpoint between the two levels.

  eq_latency.py KESTRUNE SOCKET RUNS     (run by bench/eq_latency.sh)
"""
import math
import statistics
import struct
import subprocess
import sys
import threading
import time

RATE = 48000
WINDOW = RATE // 200  # 5 ms of mono float frames


class Monitor:
    """parec on the speakers' monitor: the level of each 5 ms window with
    the time it arrived."""

    def __init__(self):
        self.process = subprocess.Popen(
            ["parec", "--latency-msec=5", "--device=speakers.monitor", "--format=float32le",
             "--channels=1", f"--rate={RATE}", "--raw"], stdout=subprocess.PIPE)
        self.windows = []  # (arrival, dB)
        self.lock = threading.Lock()
        threading.Thread(target=self.read, daemon=True).start()

    def read(self):
        size = WINDOW * 4
        while True:
            data = self.process.stdout.read(size)
            if len(data) < size:
                return
            samples = struct.unpack(f"<{WINDOW}f", data)
            power = sum(x * x for x in samples) / WINDOW
            with self.lock:
                self.windows.append((time.monotonic(), 10 * math.log10(power + 1e-20)))

    def since(self, start):
        with self.lock:
            return [w for w in self.windows if w[0] >= start]

    def level_now(self):
        time.sleep(0.3)
        with self.lock:
            recent = [db for _, db in self.windows[-20:]]
        return statistics.median(recent)


def main():
    kestrune, socket, runs = sys.argv[1], sys.argv[2], int(sys.argv[3])
    monitor = Monitor()
    ask = lambda preset: subprocess.run(
        [kestrune, "app", "eq", "set", "Tone", preset, "--socket", socket],
        stdout=subprocess.DEVNULL, check=True)
    ask("open")
    open_level = monitor.level_now()
    ask("cut")
    cut_level = monitor.level_now()
    if open_level - cut_level < 6:
        sys.exit(f"the preset is not heard: {open_level:.1f} dB vs {cut_level:.1f} dB")
    middle = (open_level + cut_level) / 2
    heard = []
    answered = []
    for run in range(runs):
        preset, wanted = ("open", lambda db: db > middle) if run % 2 == 0 else \
            ("cut", lambda db: db < middle)
        start = time.monotonic()
        ask(preset)
        answered.append((time.monotonic() - start) * 1000)
        deadline = start + 2
        change = None
        while change is None and time.monotonic() < deadline:
            change = next((t for t, db in monitor.since(start) if wanted(db)), None)
            time.sleep(0.002)
        if change is None:
            sys.exit(f"run {run}: no change heard within 2 s")
        heard.append((change - start) * 1000)
        time.sleep(0.3)
    monitor.process.kill()
    print(f"app eq set (parametric) -> heard: median {statistics.median(heard):.0f} ms, "
          f"max {max(heard):.0f} ms over {runs} runs; the command itself: median "
          f"{statistics.median(answered):.0f} ms")


main()
