#!/usr/bin/env bash
# Plays the sample game with a session script, as run_game.sh does, then
# checks what a played game leaves: the saved game (read back with
# saved_game) holds the line given, the last level reached and the name
# typed in the high-score table, and config.cfg keeps the volumes the menu
# set.
# Usage: run_whole_game.sh EXECUTABLE BACKEND SCRIPT GAME_FOLDER SAVED_GAME
#        SAVED_LINE LAST_LEVEL CONFIG_LINE
set -u
exe=$1 backend=$2 script=$3 game=$4 saved=$5 line=$6 last=$7 config=$8
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cp -a "$game"/. "$dir"/
cd "$dir" || exit 1
KELVANDOR_PLATFORM=$backend KELVANDOR_SCRIPT=$script KELVANDOR_LOG=log.txt timeout 120 "$exe" >out.txt
rc=$?
cat out.txt
fail() { echo "$*" >&2; cat log.txt >&2 2>/dev/null; exit 1; }
[ $rc -eq 0 ] || fail "exit code $rc"
grep -qi 'Ошибка\|Ощибка' log.txt && fail "a script failed"
grep -q 'Невозможно загрузить файл\|Невозможно открыть файл' log.txt && fail "a sample file could not be loaded"
grep -q 'неудаленный объект' log.txt && fail "objects were left for the leak report"
"$saved" print >saved.txt || fail "the saved game cannot be read"
cat saved.txt
grep -qx "last_level $last" saved.txt || fail "the last level reached is not $last"
grep -qE -- "$line" saved.txt || fail "the saved game holds no line like: $line"
grep -qx -- "$config" config.cfg || fail "config.cfg does not hold: $config"
echo "the whole game ran on the $backend backend and saved what it should"
