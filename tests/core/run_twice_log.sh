#!/usr/bin/env bash
# Runs the game twice with the same KELVANDOR_LOG file over a stale one and
# checks that the file holds the last run alone.
# Usage: run_twice_log.sh EXECUTABLE SCRIPT
set -u
exe=$1 script=$2
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir" || exit 1
fail() { echo "$*" >&2; cat log.txt >&2 2>/dev/null; exit 1; }
echo "a line from an older run" >log.txt
for run in 1 2; do
  KELVANDOR_PLATFORM=headless KELVANDOR_SCRIPT=$script KELVANDOR_LOG=log.txt timeout 60 "$exe"
  rc=$?
  [ $rc -eq 0 ] || fail "run $run: exit code $rc"
done
grep -q 'older run' log.txt && fail "the stale log was kept"
runs=$(grep -c '^Vertices size - ' log.txt)
[ "$runs" -eq 1 ] || fail "the log holds $runs runs"
echo "the log holds the last run alone"
