#!/usr/bin/env bash
# The tests of the suite. Installs what they need, then, by default, what a
# contributor runs before a commit: the release build and its tests (the
# manifest's labels and a gdb session among them), the same build from a
# copy of the source elsewhere and without debug information
# (tests/check_reproducible.sh), its install and archive, the build with
# AddressSanitizer and UndefinedBehaviorSanitizer and its tests, and a short
# seeded fuzzing pass. With --all also a clang build, a
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
ensure_packages cmake ninja-build g++ libgtest-dev googletest tmux python3 python3-pyelftools gdb clang \
    libclang-rt-14-dev binutils
# What the tools and their tests use: the remarks, the explorer and its
# browser, the independent readers, two foreign machines and the corpus's
# engine and ssh.
ensure_packages python3-yaml python3-capstone python3-pygments python3-selenium chromium chromium-driver valgrind \
    llvm-16 qemu-user g++-aarch64-linux-gnu g++-i686-linux-gnu parallel openssh-server openssh-client rsync

times=()
started=$SECONDS
phase_started=$SECONDS
phase_done() {
    phase_seconds=$((SECONDS - phase_started))
    times+=("$(printf '%-32s %5d s' "$1" "$phase_seconds")")
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
# The output is kept in build/check/<test preset>.log for the table.
run_tests() {
    echo "=== tests of $1"
    mkdir -p build/check
    ctest --preset "$1" | tee "build/check/$1.log"
    report_skipped "$2" "$1"
}

# compare <log> <folder> ...: compare_builds.sh of the folders, its output
# also kept in <log>.
compare() {
    local log=$1
    shift
    bash tests/compare_builds.sh "$@" 2>&1 | tee "$log"
}

# ctest_counts FILE prints "passed/skipped/failed"
# of the ctest run whose output is FILE, or "-" when it holds no summary.
ctest_counts() {
    local total failed skipped
    total=$(sed -nE 's/^[0-9]+% tests passed, [0-9]+ tests failed out of ([0-9]+)$/\1/p' "$1")
    failed=$(sed -nE 's/^[0-9]+% tests passed, ([0-9]+) tests failed out of [0-9]+$/\1/p' "$1")
    skipped=$(grep -cE '^\s*[0-9]+ - .* \(Skipped\)$' "$1") || true
    [[ -n $total ]] && echo "$((total - failed - skipped))/$skipped/$failed" || echo -
}

# One line of the table at the end, tab-separated: configuration,
# executables, runs compared, runs differ, tests passed/skipped/failed, seconds.
rows=()
# preset_row <name> <folder of executables> <test preset> [<compare log>],
# timed by the phase just done.
preset_row() {
    local built runs=- differ=-
    built=$(find "$2" -maxdepth 1 -type f -name '*_b[0-9]' | wc -l)
    if [[ -n ${4:-} ]]; then
        runs=$(sed -n "s|^$2: \([0-9]*\) runs$|\1|p" "$4")
        differ=$(grep -c '^DIFFERENT: ' "$4") || true
    fi
    rows+=("$(printf '%s\t' "$1" "$built" "${runs:--}" "$differ" "$(ctest_counts "build/check/$3.log")")$phase_seconds")
}

# The table: every preset run, then the matrix and the machines from the
# summaries their scripts leave.
report_table() {
    local row_format='%-66s %11s %13s %11s %17s %6s\n'
    echo "=== every configuration and machine"
    # shellcheck disable=SC2059 # the format is one string
    printf "$row_format" configuration executables "runs compared" "runs differ" "tests p/s/f" time
    printf '%s\n' "${rows[@]}" | cat - "$@" 2>/dev/null |
        while IFS=$'\t' read -r name built runs differ tests seconds; do
            # shellcheck disable=SC2059
            printf "$row_format" "$name" "$built" "$runs" "$differ" "$tests" "$seconds s"
        done
    echo "(tests p/s/f: passed, skipped, failed)"
}

# check_install: "cmake --install" of the release build into a scratch
# prefix and "cpack -G TGZ" hold the programs, their debug files, their
# remarks, the manifest and the README.
check_install() {
    local prefix listing expected
    prefix=$(mktemp -d)
    cmake --install build/release --prefix "$prefix" >/dev/null
    listing=$(cd "$prefix" && find . -type f | sort)
    (cd build/release && cpack -G TGZ >/dev/null)
    expected=$(cd build/release/bin && { ls ./*_b[0-9] ./*_b[0-9].debug ./*_b[0-9].remarks.jsonl | sed 's|^\./|./bin/|'
        printf '%s\n' ./share/doc/console_suite/README.md ./share/doc/console_suite/manifest.jsonl; } | sort)
    rm -rf "$prefix"
    if [[ $listing != "$expected" ]]; then
        echo "cmake --install did not install exactly the programs, their debug files and remarks, the manifest and the README:"
        diff <(echo "$expected") <(echo "$listing") || true
        return 1
    fi
    if [[ $(tar -tzf build/release/console-suite-*.tar.gz | grep -c -v '/$') != $(grep -c . <<<"$listing") ]]; then
        echo "cpack's archive does not hold what cmake --install installs"
        return 1
    fi
    echo "installed and archived: $(grep -c . <<<"$listing") files"
}

build release
run_tests release release
phase_done release
preset_row "release (g++, the tests' own build)" build/release/bin release
echo "=== the release build from another path, and without debug information"
bash tests/check_reproducible.sh build/release/bin
echo "=== install and archive"
check_install
phase_done "reproducible, installed"
build sanitize
run_tests sanitize sanitize
phase_done sanitize
preset_row "sanitize (address, undefined)" build/sanitize/bin sanitize
echo "=== fuzzing"
fuzz/run --ci
phase_done fuzzing

$all || { report_table && exit 0; }
$all || exit 0

build clang
run_tests clang clang
echo "=== both compilers, every build, alike"
compare build/check/compare-clang.log build/release/bin build/clang/bin
phase_done clang
preset_row "clang (clang++, compared with release)" build/clang/bin clang build/check/compare-clang.log
build msan
run_tests msan msan
phase_done msan
preset_row "msan (clang++ -fsanitize=memory, release's tests)" build/msan/programs/bin msan
echo "=== other compilers and flags"
matrix=0
bash tests/compiler_matrix.sh || matrix=$?
phase_done "compiler matrix"
echo "=== every machine"
cross=0
bash tests/cross.sh || cross=$?
phase_done "every machine"

report_table build/matrix/summary.tsv build/cross/summary.tsv
echo "(JSON, one line per executable and a summary per folder: build/matrix/report.jsonl, build/cross/report.jsonl)"
((matrix == 0 && cross == 0))
