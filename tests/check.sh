#!/usr/bin/env bash
# Every test of the suite, in one command: installs what the tests need,
# then builds each preset with warnings as errors and runs its tests
# (release, sanitizers, clang, MemorySanitizer), listing after each run the
# tests it skipped and why, compares the builds of both compilers with each
# other, runs a short seeded fuzzing pass, builds the programs for i686,
# aarch64 and s390x, runs the tests against them under qemu-user and
# compares each of those builds with the release build, and last runs the
# compiler matrix (tests/compiler_matrix.sh): other compilers and flags,
# each build judged by tests/check_build.sh.  The time of each phase is
# printed at the end.
#   tests/check.sh [preset | matrix ...]
#   (default: release sanitize clang msan cross-i686 cross-aarch64 cross-s390x matrix)
set -euo pipefail
cd "$(dirname "$0")/.."

source tools/ensure_packages.sh
ensure_packages cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev googletest tmux python3 \
    g++-i686-linux-gnu g++-aarch64-linux-gnu g++-s390x-linux-gnu qemu-user

presets=("$@")
((${#presets[@]} > 0)) || presets=(release sanitize clang msan cross-i686 cross-aarch64 cross-s390x matrix)

times=()
started=$SECONDS
phase_started=$SECONDS
phase_done() {
    times+=("$(printf '%-32s %5d s' "$1" $((SECONDS - phase_started)))")
    phase_started=$SECONDS
}
report_times() {
    echo "=== time of each phase"
    printf '%s\n' "${times[@]}" "$(printf '%-32s %5d s' all $((SECONDS - started)))"
}
trap report_times EXIT

# Counts the lines on standard input alike once the build of a program a
# test ran for is dropped: "Suite.Test/quick_sort_b1<tab>why" as
# "Suite.Test<tab>why".
grouped() { sed -E 's#/[a-z0-9_]+_b[0-9]+($|\t)#\1#' | sort | uniq -c | sed 's/\t/: /'; }

# The tests the last run of preset $1 skipped, with the reasons they gave,
# and those its test preset leaves out.
report_skipped() {
    local tree=build/$1 skipped left_out
    skipped=$(awk '/^\[ RUN      \] / { test = $4 }
                   /: Skipped$/ { getline why; print test "\t" (why ~ /^\[  SKIPPED/ ? "(no reason given)" : why) }' \
        "$tree/Testing/Temporary/LastTest.log")
    left_out=$(comm -23 <(ctest --test-dir "$tree" -N | sed -n 's/^ *Test *#[0-9]*: //p' | sort) \
        <(ctest --preset "$1" -N | sed -n 's/^ *Test *#[0-9]*: //p' | sort))
    echo "--- $1: $(grep -c . <<<"$skipped") tests skipped, $(grep -c . <<<"$left_out") left out by the test preset"
    [[ -z $skipped ]] || grouped <<<"$skipped"
    if [[ -n $left_out ]]; then
        echo "left out: $(ctest --list-presets | sed -n "s/^ *\"$1\" *- //p")"
        grouped <<<"$left_out"
    fi
}

build_and_test() {
    echo "=== $1"
    cmake --preset "$1" >/dev/null
    cmake --build --preset "$1"
    ctest --preset "$1"
    report_skipped "$1"
}

for preset in "${presets[@]}"; do
    [[ $preset == cross-* || $preset == matrix ]] && continue
    build_and_test "$preset"
    phase_done "$preset"
done

if [[ -d build/release/bin && -d build/clang/bin ]]; then
    echo "=== every build of every program, from both compilers, alike"
    bash tests/compare_builds.sh build/release/bin build/clang/bin
    phase_done "compare release, clang"
fi

if [[ " ${presets[*]} " == *" sanitize "* && -x fuzz/run ]]; then
    echo "=== fuzzing"
    fuzz/run --ci
    phase_done "fuzzing"
fi

# The programs of a cross preset are under programs/bin of its build, run
# behind the emulator its cache names.
for preset in "${presets[@]}"; do
    [[ $preset == cross-* ]] || continue
    build_and_test "$preset"
    phase_done "$preset"
    if [[ -d build/release/bin ]]; then
        echo "=== every build of every program, from $preset and release, alike"
        runner=$(sed -n 's/^SUITE_RUNNER:STRING=//p' "build/$preset/CMakeCache.txt")
        bash tests/compare_builds.sh build/release/bin --runner "$runner" "build/$preset/programs/bin"
        phase_done "compare release, $preset"
    fi
done

if [[ " ${presets[*]} " == *" matrix "* ]]; then
    echo "=== other compilers and flags"
    bash tests/compiler_matrix.sh
    phase_done "compiler matrix"
fi
