#!/usr/bin/env bash
# Start-up cost of `kestrune volume get` against the plain C client of the
# same exchange (bench/c_client.c), both talking to kestrune-sim, in one run:
#   - instructions of the whole process under callgrind (the headline: a
#     count that does not depend on the machine's load),
#   - page faults as `/usr/bin/time -f %R` counts them (median),
#   - wall time against the C client: the two programs run alternately by
#     bench/spawn_timer.c, medians of each.
# `kestrune --help` and a usage error are measured alongside.
#
#   bench/cli_startup.sh [BUILD_DIR] [RUNS] [OTHER_KESTRUNE...]
#       (defaults: build, 300)
#
# Each OTHER_KESTRUNE (say, the binary of an earlier commit) is measured the
# same way in the same run, for a side-by-side comparison. Build in Release
# for figures: cmake -DCMAKE_BUILD_TYPE=Release.
set -euo pipefail

build=${1:-build}
runs=${2:-300}
shift $(($# < 2 ? $# : 2))
command -v valgrind >/dev/null || { echo "valgrind is needed for instruction counts" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time is needed for page faults" >&2; exit 1; }

. "$(dirname "$0")/start_sim.sh"

cc -O2 -o "$scratch/spawn_timer" "$(dirname "$0")/spawn_timer.c"
plain=("$build/c_client" "$socket")

# Instructions of one whole run under callgrind.
instructions() {
  valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 >/dev/null |
    sed -n 's/.*Collected : \([0-9]*\).*/\1/p'
}

# Median of the minor page faults over 21 runs (the count varies by one or two).
faults() {
  for _ in $(seq 21); do
    /usr/bin/time -f %R "$@" 2>&1 >/dev/null | tail -n 1
  done | sort -n | sed -n 11p
}

# Median wall time of both programs over alternating runs, and their ratio.
walltime() {
  "$scratch/spawn_timer" 20 "$@" -- "${plain[@]}" >/dev/null  # warm-up
  "$scratch/spawn_timer" "$runs" "$@" -- "${plain[@]}" | awk -v n="$runs" '
    { a[NR] = $1; b[NR] = $2 }
    function median(v, count,    i, j, t) {
      for (i = 2; i <= count; i++) {
        t = v[i]
        for (j = i - 1; j >= 1 && v[j] > t; j--) v[j + 1] = v[j]
        v[j + 1] = t
      }
      return count % 2 ? v[(count + 1) / 2] : (v[count / 2] + v[count / 2 + 1]) / 2
    }
    END {
      ma = median(a, NR); mb = median(b, NR)
      printf "%.3f ms against %.3f ms, ratio %.2f (%d alternating runs, medians)", ma / 1e3, mb / 1e3, ma / mb, NR
    }'
}

report() {
  local cli=$1
  local request=("$cli" volume get --socket "$socket")
  "${request[@]}" >/dev/null || { echo "$cli volume get failed" >&2; exit 1; }
  echo "== $cli ($(stat -c %s "$cli") bytes)"
  echo "  volume get instructions:  $(instructions "${request[@]}")"
  echo "  volume get page faults:   $(faults "${request[@]}")"
  echo "  volume get wall time:     $(walltime "${request[@]}")"
  echo "  --help instructions:      $(instructions "$cli" --help)  page faults: $(faults "$cli" --help)"
  echo "  usage error instructions: $(instructions "$cli" volume set)  page faults: $(faults "$cli" volume set)"
}

echo "== c_client (baseline)"
echo "  instructions: $(instructions "${plain[@]}")  page faults: $(faults "${plain[@]}")"
report "$build/kestrune"
for other in "$@"; do
  report "$other"
done
