#!/usr/bin/env bash
# Builds all of the suite's executables in several configurations with
# tools/build (warnings as errors), judges each build with
# tools/judge, and prints a table: configuration, executables
# built, tests, runs compared with the release build, differences, time.
#   tests/compiler_matrix.sh [--tests TREE] [CONFIGURATION ...]
# A configuration is a compiler and the flags that replace the project's
# levels, e.g. "clang++-15 -O3 -flto"; a compiler alone keeps the levels.
# Without arguments, the configurations CI runs (below). --tests is given on
# to tools/judge: the built test tree that judges (default: the release
# preset). Each build goes to build/matrix/<configuration>/, its report to
# build/matrix/<configuration>.log and .jsonl, and tools/judge's JSON
# lines (one per executable, one summary), each with the configuration, to
# build/matrix/report.jsonl; build/matrix/summary.tsv holds one line per
# configuration for the table of tests/check.sh --all.
set -euo pipefail
cd "$(dirname "$0")/.."

judge=()
if [[ ${1:-} == --tests ]]; then
    (($# >= 2)) || { sed -n '5p' "$0" >&2 && exit 2; }
    judge=(--tests "$2")
    shift 2
fi
configurations=("$@")
((${#configurations[@]} > 0)) ||
    configurations=(g++-11 clang++-16 "clang++-15 -O3 -flto" "g++-12 -Os" "g++-12 -O3 -march=native")

# The Debian packages a configuration needs: its compiler, the linker
# plugin through which ld reads clang's LTO objects, and libc++ or the
# sanitizer runtimes where the flags ask for them.
packages() {
    local cxx=$1 flags=$2 version
    case $cxx in
    g++-*) echo "$cxx" ;;
    clang++-*)
        version=${cxx#clang++-}
        echo "clang-$version"
        [[ $flags != *-flto* ]] || echo "llvm-$version-linker-tools"
        [[ $flags != *-stdlib=libc++* ]] || echo "libc++-$version-dev libc++abi-$version-dev"
        [[ $flags != *-fsanitize=* ]] || echo "libclang-rt-$version-dev"
        ;;
    esac
}

source tools/ensure_packages.sh
for configuration in "${configurations[@]}"; do
    read -r cxx flags <<<"$configuration"
    # shellcheck disable=SC2046 # one word per package
    ensure_packages $(packages "$cxx" "$flags")
done

# One row of the table.
row() { printf '%-42s %11s %27s %13s %11s %15s %6s\n' "$@"; }

mkdir -p build/matrix
: >build/matrix/report.jsonl
: >build/matrix/summary.tsv
rows=("$(row configuration executables "tests passed/skipped/failed" "runs compared" "runs differ" \
    "executables failed" time)")
status=0
for configuration in "${configurations[@]}"; do
    read -r cxx flags <<<"$configuration"
    out=build/matrix/$(tr -c 'A-Za-z0-9+=.-' '_' <<<"$configuration" | sed 's/_$//')
    echo "=== $configuration"
    started=$SECONDS
    rm -rf "$out" "$out.jsonl"
    fields=(- - - -)
    if /usr/bin/python3 tools/build --cxx "$cxx" --flags "$flags" --werror "$out"; then
        /usr/bin/python3 tools/judge "$out" "${judge[@]}" --report "$out.jsonl" | tee "$out.log" || status=1
    else
        status=1
    fi
    if [[ -s $out.jsonl ]]; then
        /usr/bin/python3 tools/judge tag configuration "$configuration" <"$out.jsonl" \
            >>build/matrix/report.jsonl
        # Tests passed/skipped/failed, runs compared, runs differ, executables failed.
        IFS=$'\t' read -ra fields < <(/usr/bin/python3 tools/judge summary "$out.jsonl" \
            tests runs_compared differing_runs failed) || fields=(- - - -)
    fi
    label=$configuration
    [[ -n $flags ]] || label+=", the project's levels"
    built=0
    [[ ! -d $out ]] || built=$(find "$out" -maxdepth 1 -type f -name '*_b[0-9]' | wc -l)
    rows+=("$(row "$label" "$built" "${fields[@]}" "$((SECONDS - started)) s")")
    # configuration, executables, runs compared, runs differ, tests passed/skipped/failed, seconds
    printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$label" "$built" "${fields[1]}" "${fields[2]}" "${fields[0]}" \
        "$((SECONDS - started))" >>build/matrix/summary.tsv
done

echo "=== compiler matrix"
printf '%s\n' "${rows[@]}" | tee build/matrix/table.txt
exit "$status"
