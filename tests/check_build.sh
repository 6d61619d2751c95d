#!/usr/bin/env bash
# Judges a build of the suite made elsewhere (another compiler, other flags,
# another machine's binaries) by its behaviour: the golden dialogues, the
# randomised model tests, the refusal and limits tests and the prompts at a
# terminal run against the executables in DIR, and every run of them is
# compared byte for byte with this project's release build (built first
# where needed). Prints one line per program, passed or what differs, and
# last "N passed, N failed"; the exit status is 0 only when nothing differs.
#   tests/check_build.sh DIR [--runner "CMD"] [--fast] [--sanitized] [--report FILE]
# A runner, such as "qemu-aarch64 -L /usr/aarch64-linux-gnu", is put in
# front of each executable of DIR; --fast says DIR holds the fast console's
# flavour; --sanitized that its executables carry AddressSanitizer (run
# without LeakSanitizer: three programs keep their blocks to the end);
# --report writes one JSON line per program to FILE. The release
# build's tests judge DIR; the logs of the run are kept in build/check: one
# run at a time.
set -euo pipefail
export LC_ALL=C

usage() {
    sed -n '9p' "$0" >&2
    exit 2
}
(($# >= 1)) && [[ -d $1 ]] || usage
dir=$(cd "$1" && pwd)
shift
runner=""
console=stdio
sanitized=0
report=""
while (($# > 0)); do
    case $1 in
    --runner) (($# >= 2)) || usage && runner=$2 && shift 2 ;;
    --fast) console=fast && shift ;;
    --sanitized) sanitized=1 && shift ;;
    --report) (($# >= 2)) || usage && report=$(realpath -m "$2") && shift 2 ;;
    *) usage ;;
    esac
done
cd "$(dirname "$0")/.."

source tools/ensure_packages.sh
ensure_packages cmake ninja-build g++ libgtest-dev googletest tmux
[[ $runner != qemu-* ]] || ensure_packages qemu-user

tree=build/check
mkdir -p "$tree"
log=$tree/build.log
: >"$log"
# Runs a command with its output in the log, shown only when it fails.
quietly() { "$@" >>"$log" 2>&1 || { cat "$log" >&2 && exit 1; }; }

echo "== building the release build and the tests"
quietly cmake --preset release
quietly cmake --build --preset release -j2

# The unit tests of the shared headers and the tests of quick_sort_probe,
# built here from the sources, say nothing about DIR.
echo "== running the tests against $dir"
((sanitized == 0)) || export ASAN_OPTIONS=${ASAN_OPTIONS:-allocator_may_return_null=1:detect_leaks=0}
SUITE_BIN_DIR=$dir SUITE_RUNNER=$runner SUITE_OWN_BUILD=0 SUITE_SANITIZED=$sanitized SUITE_CONSOLE=$console \
    ctest --test-dir build/release -j2 -LE '^console_tests$' -E '^QuickSortFallback\.' >"$tree/ctest.log" 2>&1 || true
cp build/release/Testing/Temporary/LastTest.log "$tree/LastTest.log"
echo "== comparing every run with the release build"
bash tests/compare_builds.sh build/release/bin --runner "$runner" "$dir" >"$tree/compare.log" 2>&1 || true

totals=$(grep -E '^[0-9]+% tests passed' "$tree/ctest.log") || { cat "$tree/ctest.log" >&2 && exit 1; }
grep -qE '^compared [0-9]+ runs' "$tree/compare.log" || { cat "$tree/compare.log" >&2 && exit 1; }

# Each failed test with the builds its output names (those of its name
# among them); "ok:" lines are dialogues of terminal_dialogue.sh that passed.
mapfile -t programs < <(basename -a tests/golden/*/)
builds="($(IFS='|' && echo "${programs[*]}"))_b[0-9]+"
sed -nE '/^The following tests FAILED:/,$ s/^\s*[0-9]+ - (.*) \([^)]*\)$/\1/p' "$tree/ctest.log" | sort >"$tree/failed"
awk -v builds="$builds" '
    /^[0-9]+\/[0-9]+ Test(ing)?: / { name = substr($0, index($0, ": ") + 2); next }
    /^ok: / { next }
    { while (match($0, builds)) { print name "\t" substr($0, RSTART, RLENGTH); $0 = substr($0, RSTART + RLENGTH) } }
' "$tree/LastTest.log" | sort -u | join -t $'\t' "$tree/failed" - >"$tree/failed_builds" || true

# "a, b, c and 4 more" of the lines on standard input.
some() { awk 'NR <= 3 { list = list (NR > 1 ? ", " : "") $0 } END { print list (NR > 3 ? " and " NR - 3 " more" : "") }'; }

passed=0
failed=0
[[ -z $report ]] || : >"$report"
for program in "${programs[@]}"; do
    differences=$(grep -E "^DIFFERENT: [^ ]*/${program}_b[0-9]+ on " "$tree/compare.log" |
        sed -E 's|^DIFFERENT: [^ ]*/([^/ ]+) on ([^,]+), against [^:]*: |\1 < \2: |') || true
    tests=$(grep -P "\t${program}_b[0-9]+$" "$tree/failed_builds" | cut -f1 | sort -u) || true
    if [[ -n $report ]]; then
        first=$(grep -m1 -E "^DIFFERENT: [^ ]*/${program}_b[0-9]+ on " "$tree/compare.log") || true
        difference=null
        if [[ -n $first ]]; then
            difference=$(sed -E 's|^DIFFERENT: [^ ]*/([^/ ]+) on ([^,]+), .* at byte ([0-9]+):.*|{"build":"\1","input":"\2","offset":\3}|' <<<"$first")
            [[ $difference == "{"* ]] || difference=$(sed -E 's|^DIFFERENT: [^ ]*/([^/ ]+) on ([^,]+),.*|{"build":"\1","input":"\2","offset":null}|' <<<"$first")
        fi
        builds=$(find "$dir" -maxdepth 1 -name "${program}_b[0-9]" | wc -l)
        inputs=$(($(find "tests/golden/$program" -name '*.in' | wc -l) + 1))
        failed_tests=$(sed 's/.*/"&"/' <<<"$tests" | grep -v '^""$' | paste -sd ,) || true
        printf '{"folder":"%s","program":"%s","builds":%d,"runs_compared":%d,"differing_runs":%d,"first_difference":%s,"failed_tests":[%s]}\n' \
            "$dir" "$program" "$builds" "$((builds * inputs))" "$(grep -c . <<<"$differences" || true)" \
            "$difference" "$failed_tests" >>"$report"
    fi
    if [[ -z $differences && -z $tests ]]; then
        printf '%-16s passed\n' "$program"
        passed=$((passed + 1))
        continue
    fi
    what=""
    [[ -z $differences ]] ||
        what="$(wc -l <<<"$differences") runs differ from the release build, first $(head -n 1 <<<"$differences")"
    [[ -z $tests ]] || what="${what:+$what; }$(wc -l <<<"$tests") tests failed: $(some <<<"$tests")"
    printf '%-16s FAILED: %s\n' "$program" "$what"
    failed=$((failed + 1))
done
# A failed test that names no build counts once for itself.
others=$(cut -f1 "$tree/failed_builds" | sort -u | comm -13 - "$tree/failed")
if [[ -n $others ]]; then
    printf '%-16s FAILED: %s\n' "(no program)" "$(wc -l <<<"$others") tests failed: $(some <<<"$others")"
    failed=$((failed + 1))
fi

total=$(sed -E 's/.* out of ([0-9]+)$/\1/' <<<"$totals")
failing=$(wc -l <"$tree/failed")
skipped=$(grep -cE '^\s*[0-9]+ - .* \(Skipped\)$' "$tree/ctest.log") || true
runs=$(sed -n "s|^$dir: \([0-9]*\) runs$|\1|p" "$tree/compare.log")
echo "tests: $((total - failing - skipped)) passed, $skipped skipped, $failing failed;" \
    "runs compared with the release build: $runs, $(grep -c '^DIFFERENT: ' "$tree/compare.log") differ" \
    "(logs: $tree/ctest.log, $tree/compare.log)"
echo "$passed passed, $failed failed"
((failed == 0))
