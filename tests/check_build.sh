#!/usr/bin/env bash
# Judges a build of the suite made elsewhere (another compiler, other flags,
# another machine's binaries) by its behaviour: the golden dialogues, the
# randomised model tests, the refusal and limits tests and the prompts at a
# terminal run against the executables in DIR, and every run of every golden
# input and sample is compared byte for byte with the test tree's own build
# (tests/compare_builds.sh). Prints one line per program, passed or what
# failed, the files that are missing or not executable, and last the counts;
# the exit status is 0 only when nothing failed.
#   tests/check_build.sh DIR [--runner "CMD"] [--sanitized] [--tests TREE] [--report FILE]
# A runner, such as "qemu-aarch64 -L /usr/aarch64-linux-gnu", is put in
# front of each executable of DIR; --sanitized says its executables carry
# AddressSanitizer (run without LeakSanitizer: three programs keep their
# blocks to the end). The tests of TREE, an already built test tree, judge
# DIR and TREE/bin is the build every run is compared with; without
# --tests the release preset is built and build/release is the tree.
# tools/describe writes DIR/manifest.jsonl (where it cannot, the manifest
# found in DIR is used for the files whose bytes it still describes).
# --report writes one JSON line per executable (verdict, runs, first
# difference, failed and skipped tests, its manifest's configuration) and a
# summary line to FILE. The logs go to TREE/check_build: one run at a time
# per tree, as ctest keeps its results in the tree.
set -euo pipefail
export LC_ALL=C

usage() {
    sed -n '10p' "$0" >&2
    exit 2
}
started=$(date +%s.%N)
(($# >= 1)) && [[ -d $1 ]] || usage
dir=$(cd "$1" && pwd)
shift
runner=""
sanitized=0
report=""
tests=""
while (($# > 0)); do
    case $1 in
    --runner) (($# >= 2)) || usage && runner=$2 && shift 2 ;;
    --sanitized) sanitized=1 && shift ;;
    --tests) (($# >= 2)) && [[ -d $2 ]] || usage && tests=$(cd "$2" && pwd) && shift 2 ;;
    --report) (($# >= 2)) || usage && report=$(realpath -m "$2") && shift 2 ;;
    *) usage ;;
    esac
done
cd "$(dirname "$0")/.."

source tools/ensure_packages.sh
ensure_packages cmake ninja-build g++ libgtest-dev googletest tmux python3 python3-pyelftools
[[ $runner != qemu-* ]] || ensure_packages qemu-user

# Runs a command with its output in log $1, shown only when it fails.
quietly() {
    local log=$1
    shift
    "$@" >>"$log" 2>&1 || { cat "$log" >&2 && exit 1; }
}

if [[ -z $tests ]]; then
    echo "== building the release build and the tests"
    tests=$PWD/build/release
    mkdir -p "$tests/check_build"
    : >"$tests/check_build/build.log"
    quietly "$tests/check_build/build.log" cmake --preset release
    quietly "$tests/check_build/build.log" cmake --build --preset release -j2
fi
[[ -f $tests/CTestTestfile.cmake && -d $tests/bin ]] ||
    { echo "check_build.sh: $tests is no built test tree (CTestTestfile.cmake and bin/)" >&2 && exit 2; }
logs=$tests/check_build
mkdir -p "$logs"
exec 9>"$logs/lock"
flock -n 9 || { echo "check_build.sh: another check_build.sh is using $tests" >&2 && exit 1; }
rm -f "$logs/tests.xml" "$logs/runs.jsonl"

# The unit tests of the shared header, the tests of quick_sort_probe, built
# here from the sources, and the check of the tree's own manifest say
# nothing about DIR.
echo "== running the tests of $tests against $dir"
((sanitized == 0)) || export ASAN_OPTIONS=${ASAN_OPTIONS:-allocator_may_return_null=1:detect_leaks=0}
SUITE_BIN_DIR=$dir SUITE_RUNNER=$runner SUITE_OWN_BUILD=0 SUITE_SANITIZED=$sanitized \
    ctest --test-dir "$tests" -j2 -LE '^common_tests$' -E '^(QuickSortFallback\.|manifest_labels$)' \
    --output-junit "$logs/tests.xml" --test-output-size-passed 65536 --test-output-size-failed 4194304 \
    >"$logs/ctest.log" 2>&1 || true

echo "== comparing every run with $tests/bin"
bash tests/compare_builds.sh --json "$logs/runs.jsonl" "$tests/bin" --runner "$runner" "$dir" \
    >"$logs/compare.log" 2>&1 || true

# Attributes each failed or skipped test to the executables it is about,
# reads the manifest tools/describe writes, and says what it all comes to.
echo "== describing $dir (tools/describe) and judging"
flags=()
((sanitized == 0)) || flags+=(--sanitized)
if [[ -n $report ]]; then
    mkdir -p "$(dirname "$report")"
    flags+=(--report "$report")
fi
/usr/bin/python3 tests/judge_builds.py report --folder "$dir" --reference "$tests/bin" --runner "$runner" \
    --tests "$tests" --junit "$logs/tests.xml" --runs "$logs/runs.jsonl" --describe --started "$started" \
    --logs "$logs" "${flags[@]}"
