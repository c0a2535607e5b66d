#!/usr/bin/env bash
# Runs the game on the real backend with OpenAL Soft writing what it plays
# to a wave file instead of a sound card, drives it with a session script,
# and checks that the music and the sounds were heard: the file's samples
# (32-bit floats, so silence is all zero bytes) are not silent.
# Usage: run_game_audio.sh EXECUTABLE SCRIPT GAME_FOLDER
set -u
exe=$1 script=$2 game=$3
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cp -a "$game"/. "$dir"/game/ 2>/dev/null || { mkdir -p "$dir/game" && cp -a "$game"/. "$dir/game"/; }
cat >"$dir/alsoft.conf" <<CONF
drivers = wave
channels = stereo
frequency = 44100
sample-type = float32
[wave]
file = $dir/heard.wav
CONF
cd "$dir/game" || exit 1
ALSOFT_CONF="$dir/alsoft.conf" ALSOFT_DRIVERS=wave ALSOFT_LOGLEVEL=0 KELVANDOR_PLATFORM=sdl \
  KELVANDOR_SCRIPT=$script KELVANDOR_LOG=log.txt timeout 120 "$exe"
rc=$?
fail() { echo "$*" >&2; cat log.txt >&2 2>/dev/null; exit 1; }
[ $rc -eq 0 ] || fail "exit code $rc"
[ -s "$dir/heard.wav" ] || fail "nothing was written to the wave file"
grep -q 'DXError if Sound' log.txt && fail "the sound system reported an error"
# Past the header, a second of audio holds 352,800 bytes; however fast the
# frames went, a twentieth of a second of sound must be other than zero.
loud=$(tail -c +129 "$dir/heard.wav" | tr -d '\000' | wc -c)
[ "$loud" -gt 17640 ] || fail "the recording is silent ($loud non-zero bytes)"
echo "the game was heard: $loud non-zero bytes of samples"
