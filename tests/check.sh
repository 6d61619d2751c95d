#!/usr/bin/env bash
# Every test of the suite: each preset built with warnings as errors and its
# tests run (release, sanitizers, clang), the builds of both compilers
# compared with each other, and a short seeded fuzzing pass.
#   tests/check.sh [preset ...]     (default: release sanitize clang)
set -euo pipefail
cd "$(dirname "$0")/.."

presets=("$@")
((${#presets[@]} > 0)) || presets=(release sanitize clang)

for preset in "${presets[@]}"; do
    echo "=== $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    ctest --preset "$preset"
done

if [[ -d build/release/bin && -d build/clang/bin ]]; then
    echo "=== every build of every program, from both compilers, alike"
    bash tests/compare_builds.sh build/release/bin build/clang/bin
fi

if [[ " ${presets[*]} " == *" sanitize "* && -x fuzz/run ]]; then
    echo "=== fuzzing"
    fuzz/run --ci
fi
