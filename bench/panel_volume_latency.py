#!/usr/bin/python3
"""How soon a change made with libpulse (pactl) shows on the panel's output
volume slider, read through the accessibility tree as a screen reader would.

    panel_volume_latency.py SINK ROUNDS

Sets the sink's volume ROUNDS times (cycling through 20..99 %, never the same
twice in a row) and for each one measures from pactl's return (the server
has acknowledged the change) to the slider named "Output volume" holding the
new value, polled every millisecond. Prints the median, 90th percentile and
maximum in ms.
"""
import subprocess
import sys
import time

import pyatspi


def find(accessible, name):
    if accessible.name == name:
        return accessible
    for index in range(accessible.childCount):
        child = accessible.getChildAtIndex(index)
        found = find(child, name) if child is not None else None
        if found is not None:
            return found
    return None


def slider():
    deadline = time.monotonic() + 20
    while time.monotonic() < deadline:
        desktop = pyatspi.Registry.getDesktop(0)
        for index in range(desktop.childCount):
            application = desktop.getChildAtIndex(index)
            if application is not None and application.name == "kestrune-panel":
                found = find(application, "Output volume")
                if found is not None:
                    return found
        time.sleep(0.1)
    sys.exit("no slider named Output volume on the accessibility bus")


def main():
    sink, rounds = sys.argv[1], int(sys.argv[2])
    volume = slider().queryValue()
    times = []
    for round_number in range(rounds):
        percent = 20 + (round_number * 37) % 80
        subprocess.run(["pactl", "set-sink-volume", sink, "%d%%" % percent], check=True)
        acknowledged = time.monotonic()
        while abs(volume.currentValue - percent) > 0.5:
            if time.monotonic() - acknowledged > 5:
                sys.exit("the slider did not show %d %% within 5 s" % percent)
            time.sleep(0.001)
        times.append((time.monotonic() - acknowledged) * 1000)
        time.sleep(0.05)
    times.sort()
    print("%.1f %.1f %.1f" % (times[len(times) // 2], times[int(len(times) * 0.9)], times[-1]))


if __name__ == "__main__":
    main()
