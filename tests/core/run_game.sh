#!/usr/bin/env bash
# Runs the game executable in a fresh working directory with a session script
# and checks that it ends cleanly and writes config.cfg back.
# Usage: run_game.sh EXECUTABLE BACKEND SCRIPT
set -u
exe=$1 backend=$2 script=$3
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir" || exit 1
KELVANDOR_PLATFORM=$backend KELVANDOR_SCRIPT=$script KELVANDOR_LOG=stderr timeout 120 "$exe"
rc=$?
if [ $rc -ne 0 ]; then
  echo "exit code $rc" >&2
  exit 1
fi
if ! grep -qx 'fullScreen = 1' config.cfg 2>/dev/null; then
  echo "config.cfg was not written back" >&2
  exit 1
fi
echo "game ran and ended cleanly on the $backend backend"
