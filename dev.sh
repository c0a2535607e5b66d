#!/usr/bin/env bash
# Set-up, build, run and test on Debian 12.
#   ./dev.sh run    installs what is missing, builds, and starts the game on the sample data
#   ./dev.sh test   installs what is missing, builds, and runs every test
set -euo pipefail
cd "$(dirname "$0")"
ROOT=$(pwd)
JOBS=$(nproc)

PACKAGES=(
  cmake ninja-build g++ pkg-config
  clang libclang-rt-14-dev          # libFuzzer
  libgtest-dev libbenchmark-dev
  liblua5.1-0-dev
  libsdl2-dev libimgui-dev libstb-dev libgl-dev libgl1-mesa-dri fonts-dejavu-core
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

build() { # dir [cmake options...]
  local dir=$1; shift
  cmake -S "$ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  ninja -C "$dir" -j "$JOBS"
}

xvfb() { xvfb-run -a -s "-screen 0 1280x1024x24" "$@"; }

# Real-backend tests draw with Mesa's software rasteriser.
export LIBGL_ALWAYS_SOFTWARE=1

cmd_run() {
  setup
  build build   # also makes the game folder build/game from data/
  cd build/game
  exec ../src/kelvandor
}

cmd_test() {
  setup
  echo "== build"
  build build
  echo "== tests"
  (cd build && xvfb ctest --output-on-failure -j "$JOBS")

  echo "== benchmarks (a short run: they measure, they do not judge)"
  build/benchmarks/kv_render_benchmark --benchmark_min_time=0.05
  xvfb env KELVANDOR_PLATFORM=sdl build/benchmarks/kv_render_benchmark --benchmark_min_time=0.05

  echo "== tests under AddressSanitizer and UndefinedBehaviorSanitizer"
  build build-asan -DKELVANDOR_SANITIZE=ON
  export UBSAN_OPTIONS=print_stacktrace=1
  (cd build-asan && ASAN_OPTIONS=detect_leaks=1 ctest -LE gl --output-on-failure -j "$JOBS")
  # Mesa's driver is unloaded before the leak check, so what it keeps cannot
  # be traced to a library; our own code's leaks are caught by the run above.
  (cd build-asan && ASAN_OPTIONS=detect_leaks=0 xvfb ctest -L gl --output-on-failure -j "$JOBS")

  echo "== fuzzing"
  CC=clang CXX=clang++ build build-fuzz -DKELVANDOR_FUZZ=ON
  local seconds=${KELVANDOR_FUZZ_SECONDS:-30}
  for target in build-fuzz/fuzz/fuzz_*; do
    local name
    name=$(basename "$target"); name=${name#fuzz_}
    local work
    work=$(mktemp -d)
    echo "-- $name for ${seconds}s"
    "$target" -max_total_time="$seconds" -print_final_stats=0 "$work" "fuzz/corpus/$name" 2>&1 | tail -n 2
    rm -rf "$work"
  done
  echo "All tests passed."
}

case "${1:-}" in
  run) cmd_run ;;
  test) cmd_test ;;
  *) echo "usage: $0 run|test" >&2; exit 2 ;;
esac
