#!/usr/bin/env bash
# Set-up, build, run and test on Debian 12.
#   ./dev.sh run    installs what is missing, builds, and starts the game on the sample data
#   ./dev.sh test   installs what is missing, builds, and runs every test
set -euo pipefail
cd "$(dirname "$0")"
ROOT=$(pwd)
JOBS=$(nproc)

PACKAGES=(
  cmake ninja-build g++ pkg-config git
  clang libclang-rt-14-dev          # libFuzzer
  clang-format
  libgtest-dev libbenchmark-dev
  liblua5.1-0-dev
  libsdl2-dev libimgui-dev libstb-dev libjpeg62-turbo-dev libpng-dev libtinyobjloader-dev
  libsquish-dev                     # DXT blocks
  libopenal-dev libsndfile1-dev
  libgl-dev libgl1-mesa-dri fonts-dejavu-core
  xvfb xauth
)

setup() {
  local missing=()
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
}

configure() { # dir [cmake options...]
  local dir=$1; shift
  cmake -S "$ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
}

build() { # dir [cmake options...]
  configure "$@"
  ninja -C "$1" -j "$JOBS"
}

# Every fuzz target of build-fuzz, sharing one budget of wall-clock seconds:
# the targets run $JOBS at a time, each wave an equal slice, so more parsers
# do not make the run longer. Any sanitizer report ends its target and fails.
fuzz_all() {
  local budget=${KELVANDOR_FUZZ_SECONDS:-120}
  local targets=(build-fuzz/fuzz/fuzz_*)
  local waves=$(( (${#targets[@]} + JOBS - 1) / JOBS ))
  local seconds=$(( budget / waves ))
  [ "$seconds" -ge 5 ] || seconds=5
  echo "${#targets[@]} targets, ${seconds}s each, $JOBS at a time (budget ${budget}s)"
  local logs
  logs=$(mktemp -d)
  local failed=0 name rate runs
  for target in "${targets[@]}"; do
    name=$(basename "$target"); name=${name#fuzz_}
    ( work=$(mktemp -d)
      rc=0
      UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
        "$target" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$logs/$name-" \
        "$work" "fuzz/corpus/$name" >"$logs/$name.log" 2>&1 || rc=$?
      rm -rf "$work"
      exit $rc ) &
    while [ "$(jobs -rp | wc -l)" -ge "$JOBS" ]; do wait -n || failed=1; done
  done
  while [ "$(jobs -rp | wc -l)" -gt 0 ]; do wait -n || failed=1; done
  for log in "$logs"/*.log; do
    name=$(basename "$log" .log)
    # libFuzzer's own figures for the whole run, the corpus's first pass included.
    rate=$(awk '/^stat::average_exec_per_sec:/ {print $2}' "$log")
    runs=$(awk '/^stat::number_of_executed_units:/ {print $2}' "$log")
    echo "-- $name: ${rate:-?} exec/s, ${runs:-?} inputs; $(grep -E '^#[0-9]+' "$log" | tail -n 1 | cut -c1-80)"
    if grep -qE 'ERROR: |runtime error:|SUMMARY: ' "$log"; then
      failed=1
      tail -n 40 "$log"
    fi
  done
  rm -rf "$logs"
  return $failed
}

# A command under an X server of its own, on a display no other run can take.
xvfb() { "$ROOT/tests/support/xvfb.sh" "$@"; }

# The sample's busiest level played by benchmarks/timedemo_session.txt on a
# backend, in a copy of the game folder, as fast as it goes; prints the
# timedemo's line.
timedemo() { # backend [runner...]
  local backend=$1; shift
  local dir
  dir=$(mktemp -d)
  cp -a build/game/. "$dir"/
  # The session continues at the third level.
  (cd "$dir" && "$ROOT/build/tests/core/saved_game" last-level 3)
  (cd "$dir" && KELVANDOR_PLATFORM=$backend KELVANDOR_TIMEDEMO=1 KELVANDOR_SCRIPT="$ROOT/benchmarks/timedemo_session.txt" \
    timeout 180 "$@" "$ROOT/build/src/kelvandor" 2>/dev/null | sed "s/^timedemo:/timedemo $backend:/") || true
  rm -rf "$dir"
}

# Real-backend tests draw with Mesa's software rasteriser.
export LIBGL_ALWAYS_SOFTWARE=1

cmd_run() {
  setup
  build build -DKELVANDOR_WERROR=OFF   # also makes the game folder build/game from data/
  cd build/game
  exec ../src/kelvandor
}

cmd_test() {
  setup
  echo "== build"
  build build -DKELVANDOR_WERROR=ON
  echo "== tests"
  (cd build && xvfb ctest --output-on-failure -j "$JOBS")

  echo "== benchmarks (a short run: they measure, they do not judge)"
  build/benchmarks/kv_render_benchmark --benchmark_min_time=0.05
  xvfb env KELVANDOR_PLATFORM=sdl build/benchmarks/kv_render_benchmark --benchmark_min_time=0.05
  # The start-up to the first frame against its floor, and the timedemo of
  # the sample on both backends: they report, never fail.
  xvfb build/benchmarks/kv_startup_benchmark build/src/kelvandor build/game 3 || true
  timedemo headless
  timedemo sdl "$ROOT/tests/support/xvfb.sh"

  echo "== tests under AddressSanitizer and UndefinedBehaviorSanitizer (clang)"
  # Built with clang: its UndefinedBehaviorSanitizer also checks what gcc's
  # does not, such as a float converted to an integer that cannot hold it.
  CC=clang CXX=clang++ build build-asan -DKELVANDOR_SANITIZE=ON -DKELVANDOR_WERROR=ON
  export UBSAN_OPTIONS=print_stacktrace=1
  (cd build-asan && ASAN_OPTIONS=detect_leaks=1 ctest -LE gl --output-on-failure -j "$JOBS")
  # Mesa's driver is unloaded before the leak check, so what it keeps cannot
  # be traced to a library; our own code's leaks are caught by the run above.
  (cd build-asan && ASAN_OPTIONS=detect_leaks=0 xvfb ctest -L gl --output-on-failure -j "$JOBS")

  echo "== fuzzing"
  CC=clang CXX=clang++ configure build-fuzz -DKELVANDOR_FUZZ=ON
  ninja -C build-fuzz -j "$JOBS" fuzz_targets
  fuzz_all
  echo "All tests passed."
}

case "${1:-}" in
  run) cmd_run ;;
  test) cmd_test ;;
  *) echo "usage: $0 run|test" >&2; exit 2 ;;
esac
