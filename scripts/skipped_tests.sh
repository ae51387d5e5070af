#!/usr/bin/env bash
# Lists the tests that a ctest run skipped, each with the reason the test
# gave, from the JUnit file of `ctest --output-junit`.
#   scripts/skipped_tests.sh build/junit.xml
set -euo pipefail
junit=${1:?usage: skipped_tests.sh JUNIT_FILE}
if [ ! -f "$junit" ]; then
  echo "no test results at $junit" >&2
  exit 1
fi
# A GoogleTest skip prints "file:line: Skipped" and then the reason; a Qt
# Test skip prints "SKIP   : test() reason".
awk '
  function unescape(text) {
    gsub(/&lt;/, "<", text); gsub(/&gt;/, ">", text); gsub(/&quot;/, "\"", text)
    gsub(/&apos;/, "\047", text); gsub(/&amp;/, "\\&", text)
    return text
  }
  /<testcase / {
    skipped = ($0 ~ /status="notrun"/)
    match($0, /name="[^"]*"/)
    name = unescape(substr($0, RSTART + 6, RLENGTH - 7))
    reason = ""; inReason = 0
    next
  }
  skipped && /: Skipped$/ { inReason = 1; next }
  skipped && inReason && /^\[  SKIPPED \]/ { inReason = 0; next }
  skipped && inReason { reason = reason (reason == "" ? "" : " ") unescape($0); next }
  skipped && /^SKIP   :/ { line = unescape($0); sub(/^SKIP   : */, "", line); reason = reason (reason == "" ? "" : "; ") line; next }
  /<\/testcase>/ {
    if (skipped) {
      count++
      lines[count] = "  " name ": " (reason == "" ? "(no reason given)" : reason)
    }
    skipped = 0
  }
  END {
    if (count == 0) { print "== no test was skipped"; exit 0 }
    print "== " count " test(s) skipped:"
    for (i = 1; i <= count; i++) print lines[i]
  }
' "$junit"
