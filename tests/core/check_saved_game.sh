#!/usr/bin/env bash
# Run in a game folder after a whole game (by run_game.sh): the saved game,
# read back with saved_game, holds a line like SAVED_LINE (a regular
# expression: the name typed at its place) and the last level reached, and
# config.cfg holds CONFIG_LINE (the volume the menu set).
# Usage: check_saved_game.sh SAVED_GAME SAVED_LINE LAST_LEVEL CONFIG_LINE
set -u
saved=$1 line=$2 last=$3 config=$4
"$saved" print >saved.txt || { echo "the saved game cannot be read" >&2; exit 1; }
cat saved.txt
grep -qx "last_level $last" saved.txt || { echo "the last level reached is not $last" >&2; exit 1; }
grep -qE -- "$line" saved.txt || { echo "the saved game holds no line like: $line" >&2; exit 1; }
grep -qx -- "$config" config.cfg || { echo "config.cfg does not hold: $config" >&2; exit 1; }
