#!/usr/bin/env bash
# A student's debugging session, as docs/programs.md shows it: gdb finds each
# build's debug file by itself, stops in the program's own routine, lists
# its source, shows its arguments and locals and steps through it, at b0 and
# at b1, and at b2 still names the routine the compiler inlined into main.
#   debug_session.sh <default folder of the executables>
# SUITE_BIN_DIR, where set, chooses the folder as for the tests; run from
# the top of the source tree, where the debug information finds the sources.
set -euo pipefail
bin=${SUITE_BIN_DIR:-$1}
cd "$(dirname "$0")/.."
if [[ -n ${SUITE_RUNNER:-} ]]; then
    echo "skipped: the executables run behind $SUITE_RUNNER"
    exit 0
fi
if ! compgen -G "$bin/*_b[0-9].debug" >/dev/null; then
    echo "skipped: no debug files beside the executables in $bin"
    exit 0
fi
failed=0

# session <executable> <input> <gdb command>... -- <expected pattern>...
# Runs gdb on the executable, "run" taking the input, and checks that its
# output holds every pattern (extended regular expressions, one per line).
session() {
    local executable=$1 input=$2 commands=() output pattern
    shift 2
    printf '%s' "$input" >"$scratch/input"
    while [[ $1 != -- ]]; do
        commands+=(-ex "${1/#run/run < $scratch/input}")
        shift
    done
    shift
    output=$(gdb -nx -batch "${commands[@]}" "$bin/$executable" 2>&1)
    for pattern in "$@"; do
        if ! grep -qE -- "$pattern" <<<"$output"; then
            printf 'gdb %s: no line matches "%s" in:\n%s\n' "$executable" "$pattern" "$output" >&2
            failed=1
            return
        fi
    done
    echo "ok: gdb $executable"
}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# The session steps through an unoptimised b0: builds made with other flags
# than their levels (tools/build --flags) do not have one.
/usr/bin/python3 tools/describe "$bin" --quiet --output "$scratch/manifest.jsonl"
level=$(/usr/bin/python3 -c 'import json, sys
print(next((e["level"] for e in map(json.loads, open(sys.argv[1])) if e["file"] == "selection_sort_b0"), ""))' \
    "$scratch/manifest.jsonl")
if [[ -z $level ]]; then
    echo "selection_sort_b0 is missing in $bin" >&2
    exit 1
elif [[ $level != O0 ]]; then
    echo "skipped: selection_sort_b0 is built at -$level, not unoptimised"
    exit 0
fi

session selection_sort_b0 "3 3 1 2" 'break sort_selection' 'run' 'info args' 'next' 'next' 'next' 'next' 'info locals' \
    'list' -- \
    '^Breakpoint 1, .*sort_selection \(values=0x[0-9a-f]+, count=3\) at (\./)+sorting/selection_sort\.cpp:37$' \
    '^count = 3$' '^min_value = 3$' '^min_index = 0$' '^found = false$' \
    'void sort_selection\(std::int32_t\* values, std::int32_t count\) \{'
session quick_sort_b1 "5 3 1 2 5 4" 'break sort_quick' 'run' 'info args' 'next' 'bt' -- \
    '^Breakpoint 1, .*sort_quick \(.*lo=(lo@entry=)?0, hi=4' '^hi = 4$' \
    '^#1  .* in main \(\) at (\./)+sorting/quick_sort\.cpp:[0-9]+$'
session selection_sort_b2 "3 3 1 2" 'break sort_selection' 'run' 'bt' 'next' 'info locals' -- \
    '^#0  .*sort_selection \(.*\) at (\./)+sorting/selection_sort\.cpp:37$' '^#1  main \(\) at (\./)+sorting/selection_sort\.cpp:[0-9]+$' \
    '^min_index = '
exit "$failed"
