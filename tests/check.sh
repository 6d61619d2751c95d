#!/usr/bin/env bash
# The tests of the suite. Installs what they need, then, by default, what a
# contributor runs before a commit: the release build and its tests, those
# tests against the fast flavour, both flavours with AddressSanitizer and
# UndefinedBehaviorSanitizer, the builds of both flavours compared byte for
# byte, and a short seeded fuzzing pass. With --all also a clang build, a
# MemorySanitizer build, the compiler matrix (tests/compiler_matrix.sh) and
# every machine Debian has a cross compiler and qemu-user for
# (tests/cross.sh). Each preset lists the tests it skipped and why; the time
# of each phase is printed at the end.
#   tests/check.sh [--all]
set -euo pipefail
cd "$(dirname "$0")/.."

all=false
case ${1:-} in
--all) all=true ;;
"") ;;
*) sed -n '11p' "$0" >&2 && exit 2 ;;
esac

source tools/ensure_packages.sh
ensure_packages cmake ninja-build g++ libgtest-dev googletest tmux python3 clang libclang-rt-14-dev binutils

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

# The tests the last run in test tree $1 skipped, with the reasons they
# gave, and those test preset $2 leaves out.
report_skipped() {
    local tree=build/$1 skipped left_out
    skipped=$(awk '/^\[ RUN      \] / { test = $4 }
                   /: Skipped$/ { getline why; print test "\t" (why ~ /^\[  SKIPPED/ ? "(no reason given)" : why) }' \
        "$tree/Testing/Temporary/LastTest.log")
    left_out=$(comm -23 <(ctest --test-dir "$tree" -N | sed -n 's/^ *Test *#[0-9]*: //p' | sort) \
        <(ctest --preset "$2" -N | sed -n 's/^ *Test *#[0-9]*: //p' | sort))
    echo "--- $2: $(grep -c . <<<"$skipped") tests skipped, $(grep -c . <<<"$left_out") left out by the test preset"
    [[ -z $skipped ]] || grouped <<<"$skipped"
    if [[ -n $left_out ]]; then
        echo "left out: $(ctest --list-presets | sed -n "s/^ *\"$2\" *- //p")"
        grouped <<<"$left_out"
    fi
}

# build <preset>: configures and builds it.
build() {
    echo "=== building $1"
    cmake --preset "$1" >/dev/null
    cmake --build --preset "$1"
}

# run_tests <test preset> <test tree>: its tests, then what they skipped.
run_tests() {
    echo "=== tests of $1"
    ctest --preset "$1"
    report_skipped "$2" "$1"
}

build release
run_tests release release
phase_done release
build fast
run_tests fast release
phase_done fast
echo "=== both flavours, every build, alike"
bash tests/compare_builds.sh build/release/bin build/fast/bin
phase_done "compare release, fast"
build sanitize
run_tests sanitize sanitize
phase_done sanitize
build sanitize-fast
run_tests sanitize-fast sanitize
phase_done sanitize-fast
echo "=== fuzzing"
fuzz/run --ci
phase_done fuzzing

$all || exit 0

build clang
run_tests clang clang
echo "=== both compilers, every build, alike"
bash tests/compare_builds.sh build/release/bin build/clang/bin
phase_done clang
build msan
run_tests msan msan
phase_done msan
echo "=== other compilers and flags"
matrix=0
bash tests/compiler_matrix.sh || matrix=$?
phase_done "compiler matrix"
echo "=== every machine"
cross=0
bash tests/cross.sh || cross=$?
phase_done "every machine"

echo "=== every configuration and machine"
cat build/matrix/table.txt build/cross/table.txt
echo "(JSON, one line per program: build/matrix/report.jsonl, build/cross/report.jsonl)"
((matrix == 0 && cross == 0))
