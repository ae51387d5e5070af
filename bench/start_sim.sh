# Sourced by the CLI benchmarks, with $build set: checks that the programs
# they run are built, starts kestrune-sim on $socket in the scratch folder
# $scratch, and stops it and removes the folder when the script exits.

for program in kestrune kestrune-sim c_client; do
  [ -x "$build/$program" ] || { echo "missing $build/$program (build it first)" >&2; exit 1; }
done

scratch=$(mktemp -d)
socket="$scratch/cli.sock"
"$build/kestrune-sim" --socket "$socket" 2>/dev/null &
sim=$!
trap 'kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null; rm -rf "$scratch"' EXIT
for _ in $(seq 200); do
  [ -S "$socket" ] && break
  sleep 0.05
done
[ -S "$socket" ] || { echo "kestrune-sim did not start" >&2; exit 1; }
