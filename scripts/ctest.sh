# shellcheck shell=bash
# run_ctest BUILD JOBS [CTEST_ARGS...]: runs every test; those that fail are
# run once more, one at a time, and the run fails only if one fails again.
# The end-to-end tests start real sound servers, session managers and
# players, which now and then answer late; a test that needed the second
# run is still named, so a flaky one shows.
indented() {
  local line
  while IFS= read -r line; do echo "  $line"; done
}

run_ctest() {
  local build=$1 jobs=$2
  shift 2
  ctest --test-dir "$build" --output-on-failure -j"$jobs" "$@" && return 0
  local failed
  failed=$(cut -d: -f2- "$build/Testing/Temporary/LastTestsFailed.log" 2>/dev/null || true)
  [ -n "$failed" ] || return 1
  echo "== failed, run once more on their own:"
  indented <<<"$failed"
  ctest --test-dir "$build" --rerun-failed --output-on-failure || return 1
  echo "== passed when run again (flaky: they failed the first run):"
  indented <<<"$failed"
}
