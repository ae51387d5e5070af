#!/usr/bin/env python3
"""Writes cmake/kestrune-hot.ld: the code a request runs, placed together.

A run of `kestrune` is short, and each 64 KB of code it touches costs the
kernel a page fault. Left to the linker, the code a request runs is spread
over the whole program: between the help, completion and manual generators,
and between libc's name service, wide-character and formatted-input code.
The layout file gathers the sections that typical requests execute at the
start of the code; everything else keeps the linker's order after them.

The sections are those callgrind sees executed in `kestrune` answering a few
common requests from `kestrune-sim`, in each build given: the Release build
that packages use and the default RelWithDebInfo one. A section
missing from the list (new code) is only placed with the rest, so a stale
list costs speed, never correctness; run this again after large changes:

    cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release
    cmake --build build-release --target kestrune kestrune-sim
    cmake --build build --target kestrune kestrune-sim
    scripts/hot_layout.py build-release build > cmake/kestrune-hot.ld
"""

import bisect
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

# Requests whose code counts as hot: reads and changes, text and JSON.
REQUESTS = [
    ["volume", "get"],
    ["volume", "set", "40"],
    ["volume", "get", "--json"],
    ["app", "list"],
    ["device", "list"],
    ["mute", "toggle"],
    ["media", "info"],
    ["status"],
]

# libc chooses among variants of its string functions by the processor, and
# valgrind's simulated one has no AVX-512: a hot family takes the variants
# that processors of the last decade choose (AVX2, EVEX, AVX-512).
VARIANT = re.compile(r"^((?:mem|str|stp|wmem|wcs|rawmem)[a-z_0-9]*?)(?:-[a-z0-9_-]+)?\.o$")

# Run natively but not under valgrind: libc's start-up describes the kernel's
# vDSO, which valgrind does not provide.
NATIVE_ONLY = [
    "*libc.a:dl-object.o(.text)",
    "*libc.a:dl-setup_hash.o(.text)",
    "*libc.a:dl-lookup.o(.text)",
    "*libc.a:dl-misc.o(.text)",
]

MAP_ENTRY = re.compile(r"^ (\.\S+)?\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S+)$")


def code_sections(map_path):
    """(start, size, section, file) of every code input section placed."""
    sections = []
    pending = None
    with open(map_path) as lines:
        in_layout = False
        for line in lines:
            if line.startswith("Linker script and memory map"):
                in_layout = True
                continue
            if not in_layout:
                continue
            if re.match(r"^ \.\S+$", line.rstrip()):
                pending = line.strip()  # a long name stands on its own line
                continue
            entry = MAP_ENTRY.match(line.rstrip())
            name = None
            if entry:
                name = entry.group(1) or pending
            pending = None
            if not entry or not name or not name.startswith(".text"):
                continue
            start, size = int(entry.group(2), 16), int(entry.group(3), 16)
            if start and size:
                sections.append((start, size, name, entry.group(4)))
    return sorted(sections)


def executed_addresses(program, socket, arguments):
    with tempfile.NamedTemporaryFile() as profile:
        run = subprocess.run(
            ["valgrind", "--tool=callgrind", "--dump-instr=yes",
             "--callgrind-out-file=" + profile.name, program, *arguments,
             "--socket", socket],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
        if run.returncode != 0:
            sys.exit("kestrune %s failed with status %d" % (" ".join(arguments), run.returncode))
        addresses = set()
        address = 0
        for line in open(profile.name):
            token = line.split(" ", 1)[0]
            if token.startswith("0x"):
                address = int(token, 16)
            elif token[:1] in "+-" and token[1:].isdigit():
                address += int(token)
            else:
                continue
            addresses.add(address)
        return addresses


def patterns_for(section, path):
    """Linker-script patterns that select the section where it was found."""
    archive_member = re.match(r"^(?:.*/)?([^/(]+)\(([^)]+)\)$", path)
    generic_name = section in (".text", ".text.unlikely", ".text.startup", ".text.hot") or \
        re.match(r"^\.text\.[a-z0-9_]+$", section)
    if not generic_name:
        return ["*(%s)" % section]
    if not archive_member:
        return ["*%s(%s)" % (os.path.basename(path), section)]
    archive, member = archive_member.groups()
    chosen = ["*%s:%s(%s)" % (archive, member, section)]
    family = VARIANT.match(member)
    if archive.startswith("libc") and family:
        chosen += ["*%s:%s-%s*.o(.text .text.*)" % (archive, family.group(1), kind)
                   for kind in ("avx", "evex")]
    return chosen


def hot_patterns(build):
    """The patterns of the sections the requests execute in one build."""
    program = os.path.join(build, "kestrune")
    sections = code_sections(os.path.join(build, "kestrune.map"))
    starts = [start for start, _, _, _ in sections]

    scratch = tempfile.mkdtemp()
    socket = os.path.join(scratch, "layout.sock")
    simulator = subprocess.Popen([os.path.join(build, "kestrune-sim"), "--socket", socket],
                                 stderr=subprocess.DEVNULL)
    try:
        for _ in range(200):
            if os.path.exists(socket):
                break
            time.sleep(0.05)
        addresses = set()
        for request in REQUESTS:
            addresses |= executed_addresses(program, socket, request)
    finally:
        simulator.terminate()
        simulator.wait()
        shutil.rmtree(scratch, ignore_errors=True)

    hot = set()
    for address in addresses:
        index = bisect.bisect_right(starts, address) - 1
        if index >= 0 and address < sections[index][0] + sections[index][1]:
            hot.add(index)
    patterns = []
    for index in sorted(hot):
        _, _, section, path = sections[index]
        patterns += patterns_for(section, path)
    return patterns


def main():
    patterns = list(NATIVE_ONLY)
    for build in sys.argv[1:] or ["build"]:
        for line in hot_patterns(build):
            if line not in patterns:
                patterns.append(line)

    print("/* The code that common requests run, first and together, so that a run")
    print("   touches few pages of code. Generated by scripts/hot_layout.py; a")
    print("   section missing here is only placed with the rest. */")
    print("SECTIONS")
    print("{")
    print("  .text.hot_path :")
    print("  {")
    for line in patterns:
        print("    " + line)
    print("  }")
    print("}")
    print("INSERT BEFORE .text;")


if __name__ == "__main__":
    main()
