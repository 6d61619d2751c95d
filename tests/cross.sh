#!/usr/bin/env bash
# Every machine Debian 12 has a cross compiler and qemu-user for: builds the
# 51 executables with Debian's cross compiler into build/cross/<arch>/bin,
# runs every golden dialogue under the emulator and compares every run with
# the native release build (tests/compare_builds.sh), and on five machines
# of different kinds also runs the randomised model tests of the release
# test build against the folder. Prints a table at the end and writes one
# JSON line per program and machine to the report, and one line per machine
# to build/cross/summary.tsv (for the table of tests/check.sh --all).
#   tests/cross.sh [--report FILE] [ARCH ...]   (default: every machine below)
# sh4 is tried first with a program that only returns 3, and left out, with
# the reason, while Debian's qemu-sh4 cannot run even that.
set -euo pipefail
cd "$(dirname "$0")/.."

report=build/cross/report.jsonl
if [[ ${1:-} == --report ]]; then
    report=$2
    shift 2
fi

# machine, compiler triple, emulator
machines=(
    "i686 i686-linux-gnu qemu-i386"
    "armel arm-linux-gnueabi qemu-arm"
    "armhf arm-linux-gnueabihf qemu-arm"
    "aarch64 aarch64-linux-gnu qemu-aarch64"
    "mips mips-linux-gnu qemu-mips"
    "mipsel mipsel-linux-gnu qemu-mipsel"
    "mips64el mips64el-linux-gnuabi64 qemu-mips64el"
    "powerpc powerpc-linux-gnu qemu-ppc"
    "ppc64 powerpc64-linux-gnu qemu-ppc64"
    "ppc64el powerpc64le-linux-gnu qemu-ppc64le"
    "riscv64 riscv64-linux-gnu qemu-riscv64"
    "s390x s390x-linux-gnu qemu-s390x"
    "sparc64 sparc64-linux-gnu qemu-sparc64"
    "alpha alpha-linux-gnu qemu-alpha"
    "hppa hppa-linux-gnu qemu-hppa"
    "m68k m68k-linux-gnu qemu-m68k"
)
# The model tests run where the machines differ most: 32-bit, 64-bit,
# big-endian, big-endian 32-bit, and a machine that traps on unaligned access.
modelled=" i686 aarch64 s390x mips sparc64 "
wanted=("$@")
# Whether machine $1 is among those asked for.
wanted() { ((${#wanted[@]} == 0)) || [[ " ${wanted[*]} " == *" $1 "* ]]; }

source tools/ensure_packages.sh
source tests/ctest_counts.sh
packages=(qemu-user)
for machine in "${machines[@]}" "sh4 sh4-linux-gnu qemu-sh4"; do
    read -r arch triple _ <<<"$machine"
    wanted "$arch" || continue
    packages+=("g++-$triple")
done
ensure_packages cmake ninja-build g++ libgtest-dev googletest tmux "${packages[@]}"

# Debian 12's qemu-sh4 has ended every program with SIGSEGV, even one that
# only returns 3: sh4 joins the machines once that program runs.
if wanted sh4; then
    probe=build/cross/sh4-probe
    mkdir -p "$probe"
    echo 'int main() { return 3; }' >"$probe/returns3.cpp"
    if sh4-linux-gnu-g++ -o "$probe/returns3" "$probe/returns3.cpp" >"$probe/build.log" 2>&1; then
        # Its status, without the shell's note of a signal or a core file.
        probe_status=$({ (ulimit -c 0 && exec timeout 60 qemu-sh4 -L /usr/sh4-linux-gnu "$probe/returns3") \
            >/dev/null 2>&1 && echo 0 || echo $?; } 2>/dev/null)
    else
        probe_status=build
    fi
    if [[ $probe_status == 3 ]]; then
        machines+=("sh4 sh4-linux-gnu qemu-sh4")
    else
        program="'int main() { return 3; }'"
        case $probe_status in
        build) why="sh4-linux-gnu-g++ cannot build $program (see $probe/build.log)" ;;
        124) why="qemu-sh4 does not end $program within a minute" ;;
        *) if ((probe_status > 128)); then
            why="qemu-sh4 ends $program with SIG$(kill -l $((probe_status - 128))) instead of exit status 3"
        else
            why="qemu-sh4 ends $program with exit status $probe_status instead of 3"
        fi ;;
        esac
        echo "=== sh4 left out: $why"
    fi
fi

# The native release build and its tests, once.
cmake --preset release >/dev/null
cmake --build --preset release >/dev/null

mkdir -p "$(dirname "$report")"
: >"$report"
summary=build/cross/summary.tsv
: >"$summary"
# One row of the table.
row() { printf '%-9s %-28s %-14s %11s %13s %11s %17s %6s\n' "$@"; }

rows=("$(row machine compiler emulator executables "runs compared" "runs differ" "model tests p/s/f" time)")
status=0
for machine in "${machines[@]}"; do
    read -r arch triple emulator <<<"$machine"
    wanted "$arch" || continue
    echo "=== $arch: $triple-g++, $emulator"
    started=$SECONDS
    out=build/cross/$arch
    runner="$emulator -L /usr/$triple"
    mkdir -p "$out"
    built=0
    runs=- differ=- models=- tests=-
    : >"$out/failed"
    if bash tools/build_programs.sh --cxx "$triple-g++" --werror "$out/bin" >"$out/build.log" 2>&1; then
        built=$(find "$out/bin" -type f | wc -l)
        bash tests/compare_builds.sh build/release/bin --runner "$runner" "$out/bin" >"$out/compare.log" 2>&1 || status=1
        runs=$(sed -n "s|^$out/bin: \([0-9]*\) runs$|\1|p" "$out/compare.log")
        differ=$(grep -c '^DIFFERENT: ' "$out/compare.log") || true
        grep '^DIFFERENT: ' "$out/compare.log" | head -n 5 || true
        if [[ $modelled == *" $arch "* ]]; then
            if SUITE_BIN_DIR=$PWD/$out/bin SUITE_RUNNER=$runner SUITE_OWN_BUILD=1 SUITE_CONSOLE=stdio \
                ctest --test-dir build/release -j2 -L '^random_' >"$out/models.log" 2>&1; then
                models=passed
            else
                models=FAILED
                status=1
                grep -A3 'Failure' "$out/models.log" | head -n 20 || true
            fi
            tests=$(ctest_counts "$out/models.log")
            sed -nE '/^The following tests FAILED:/,$ s/^\s*[0-9]+ - (.*) \([^)]*\)$/\1/p' "$out/models.log" >"$out/failed"
        fi
    else
        cat "$out/build.log" >&2
        status=1
    fi
    seconds=$((SECONDS - started))
    rows+=("$(row "$arch" "$triple-g++" "$emulator" "$built" "$runs" "$differ" "$tests" "$seconds s")")
    # machine, executables, runs compared, runs differ, tests passed/skipped/failed, seconds
    printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$arch ($triple-g++, $emulator)" "$built" "${runs:--}" "$differ" "$tests" \
        "$seconds" >>"$summary"
    # One JSON line per program: its builds, the runs compared and the first
    # difference, if any.
    for folder in tests/golden/*/; do
        program=$(basename "$folder")
        builds=$(find "$out/bin" -name "${program}_b[0-9]" 2>/dev/null | wc -l)
        first=$(grep -m1 -E "^DIFFERENT: [^ ]*/${program}_b[0-9]+ on " "$out/compare.log" 2>/dev/null) || true
        differing=$(grep -cE "^DIFFERENT: [^ ]*/${program}_b[0-9]+ on " "$out/compare.log" 2>/dev/null) || true
        inputs=$(($(find "$folder" -name '*.in' | wc -l) + 1))
        # The model tests that failed for a build of the program, named after it.
        failed_tests=$(grep -E "/${program}_b[0-9]+\$" "$out/failed" | sed 's/.*/"&"/' | paste -sd ,) || true
        difference=null
        if [[ -n $first ]]; then
            build=$(sed -E 's|^DIFFERENT: [^ ]*/([^/ ]+) on .*|\1|' <<<"$first")
            input=$(sed -E 's|^DIFFERENT: [^ ]+ on ([^,]+),.*|\1|' <<<"$first")
            offset=$(sed -nE 's|.* at byte ([0-9]+):.*|\1|p' <<<"$first")
            difference="{\"build\":\"$build\",\"input\":\"$input\",\"offset\":${offset:-null}}"
        fi
        printf '{"architecture":"%s","program":"%s","builds":%d,"runs_compared":%d,"differing_runs":%d,"first_difference":%s,"model_tests":"%s","failed_tests":[%s]}\n' \
            "$arch" "$program" "$builds" "$((builds * inputs))" \
            "${differing:-0}" "$difference" "$models" "$failed_tests" >>"$report"
    done
done

echo "=== every machine"
printf '%s\n' "${rows[@]}" | tee build/cross/table.txt
echo "(one JSON line per program and machine: $report)"
exit "$status"
