#!/usr/bin/env bash
# Source checks of the test command.
#   check_sources.sh format    every C++ file is as .clang-format lays it out
#   check_sources.sh includes  SDL, OpenGL and Dear ImGui are included only by
#                              the real backend (src/platform/sdl) and its tests,
#                              OpenAL and libsndfile only by its sound
#                              (src/platform/openal) and its tests
#                              (libsndfile also by the content tools);
#                              the benchmarks' floors may use SDL and GL
#                              directly, being what the engine is measured
#                              against
set -euo pipefail
cd "$(dirname "$0")/.."

sources() {
  if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git ls-files -co --exclude-standard -- '*.cpp' '*.h'
  else
    find src tests tools fuzz benchmarks -name '*.cpp' -o -name '*.h'
  fi
}

case "${1:-}" in
  format)
    command -v clang-format >/dev/null || { echo "clang-format is not installed"; exit 1; }
    # One clang-format per batch of files, not per file: on a busy machine
    # starting hundreds of processes took minutes.
    report=$(sources | while IFS= read -r f; do [ -f "$f" ] && echo "$f"; done |
      xargs -r clang-format --dry-run --Werror 2>&1 | grep -o -E '^[^:]+:[0-9]+:[0-9]+: error' | cut -d: -f1 | sort -u || true)
    [ -z "$report" ] && exit 0
    while IFS= read -r f; do echo "not formatted: $f (run: clang-format -i $f)"; done <<<"$report"
    exit 1
    ;;
  includes)
    pattern='^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"](SDL|GL/|imgui|backends/imgui|imconfig)'
    # The floors of the benchmarks are minimal SDL2 + OpenGL programs with no
    # engine in between, so they include SDL and GL themselves.
    found=$(sources | grep -v -E '^(src|tests)/platform/sdl/' |
      grep -v -x -E 'benchmarks/(floor_gl|startup_benchmark)\.cpp' | xargs grep -n -E "$pattern" || true)
    if [ -n "$found" ]; then
      echo "SDL, GL or ImGui included outside src/platform/sdl:"
      echo "$found"
      exit 1
    fi
    # The content tools read sound files too; nothing else of the game does.
    pattern='^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"](AL/|sndfile)'
    found=$(sources | grep -v -E '^(src|tests)/platform/openal/' | xargs grep -n -E "$pattern" |
      grep -v -E '^(tools|tests/tools)/[^:]*:[0-9]+:[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]sndfile' || true)
    if [ -n "$found" ]; then
      echo "OpenAL or libsndfile included outside src/platform/openal (libsndfile: or the content tools):"
      echo "$found"
      exit 1
    fi
    ;;
  *)
    echo "usage: $0 format|includes" >&2
    exit 2
    ;;
esac
