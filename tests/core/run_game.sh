#!/usr/bin/env bash
# Runs the game executable in a fresh copy of the game folder with a session
# script and checks that it ends cleanly, opened the archive, and wrote
# config.cfg and Data/game.dat back, loaded the sample ship, and left
# nothing for the leak report.
# Usage: run_game.sh EXECUTABLE BACKEND SCRIPT GAME_FOLDER [TEXT [CHECK...]]
# With TEXT (may be empty), the game's standard output must hold it; with a
# CHECK command, it runs in the played folder afterwards and must succeed.
# KV_GAME_SECONDS: how long the game may run (120 by default).
set -u
exe=$1 backend=$2 script=$3 game=$4 expect=${5:-}
shift 4
[ $# -gt 0 ] && shift
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cp -a "$game"/. "$dir"/
cd "$dir" || exit 1
KELVANDOR_PLATFORM=$backend KELVANDOR_SCRIPT=$script KELVANDOR_LOG=log.txt timeout "${KV_GAME_SECONDS:-120}" "$exe" >out.txt
rc=$?
cat out.txt
fail() { echo "$*" >&2; cat log.txt >&2 2>/dev/null; exit 1; }
[ $rc -eq 0 ] || fail "exit code $rc"
grep -qx 'fullScreen = 1' config.cfg 2>/dev/null || fail "config.cfg was not written back"
[ -s Data/game.dat ] || fail "Data/game.dat was not saved"
grep -q 'Cannot read game archive' log.txt && fail "the sample archive was not read"
grep -q 'Начинается анализ скрипта - Data\\Scripts\\main.lua' log.txt || fail "the main script was not loaded"
grep -qi 'scripts\\main.lua not found\|Ошибка\|Ощибка' log.txt && fail "the main script failed"
grep -q 'Невозможно загрузить файл\|Невозможно открыть файл' log.txt && fail "a sample file could not be loaded"
grep -q 'неудаленный объект' log.txt && fail "objects were left for the leak report"
[ -z "$expect" ] || grep -qF -- "$expect" out.txt || fail "the output does not say: $expect"
[ $# -eq 0 ] || "$@" || fail "the played game folder fails: $*"
echo "game ran and ended cleanly on the $backend backend"
