#!/usr/bin/env bash
# Every machine Debian 12 has a cross compiler and qemu-user for: builds the
# 51 executables with Debian's cross compiler (and for aarch64 also with
# clang++ and Debian's cross libraries) into build/cross/<machine>/bin,
# their manifest's labels checked (tools/build),
# runs every golden dialogue under the emulator and compares every run with
# the native release build (tests/compare_builds.sh), and on five machines
# of different kinds also runs the randomised model tests of the release
# test build against the folder. Prints a table at the end and writes to
# the report, for each machine, one JSON line per executable and a summary
# line as tools/judge does, each with the machine, compiler,
# emulator and the outcome of the model tests; one line per machine goes to
# build/cross/summary.tsv (for the table of tests/check.sh --all).
#   tests/cross.sh [--report FILE] [--tests TREE] [ARCH ...]   (default: every machine below)
# --tests: an already built test tree, whose bin/ is the native build
# compared with, instead of the release preset's (build/release).
# sh4 is tried first with a program that only returns 3, and left out, with
# the reason, while Debian's qemu-sh4 cannot run even that.
set -euo pipefail
cd "$(dirname "$0")/.."

report=build/cross/report.jsonl
tests=""
while [[ ${1:-} == --* ]]; do
    (($# >= 2)) || { sed -n '12p' "$0" >&2 && exit 2; }
    case $1 in
    --report) report=$2 ;;
    --tests) tests=$(cd "$2" && pwd) ;;
    *) sed -n '12p' "$0" >&2 && exit 2 ;;
    esac
    shift 2
done

# machine, compiler triple, emulator[, compiler other than the triple's g++]
machines=(
    "i686 i686-linux-gnu qemu-i386"
    "armel arm-linux-gnueabi qemu-arm"
    "armhf arm-linux-gnueabihf qemu-arm"
    "aarch64 aarch64-linux-gnu qemu-aarch64"
    "aarch64-clang aarch64-linux-gnu qemu-aarch64 clang++"
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
modelled=" i686 aarch64 aarch64-clang s390x mips sparc64 "
wanted=("$@")
# Whether machine $1 is among those asked for.
wanted() { ((${#wanted[@]} == 0)) || [[ " ${wanted[*]} " == *" $1 "* ]]; }

source tools/ensure_packages.sh
packages=(qemu-user python3 python3-pyelftools)
for machine in "${machines[@]}" "sh4 sh4-linux-gnu qemu-sh4"; do
    read -r arch triple _ <<<"$machine"
    wanted "$arch" || continue
    packages+=("g++-$triple")
done
ensure_packages cmake ninja-build g++ clang libgtest-dev googletest tmux python3-pyelftools "${packages[@]}"

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

# The native release build and its tests, once, unless a tree is given.
if [[ -z $tests ]]; then
    cmake --preset release >/dev/null
    cmake --build --preset release >/dev/null
    tests=$PWD/build/release
fi

mkdir -p build/cross "$(dirname "$report")"
: >"$report"
summary=build/cross/summary.tsv
: >"$summary"
# One row of the table.
row() { printf '%-13s %-36s %-14s %11s %13s %11s %17s %6s\n' "$@"; }

rows=("$(row machine compiler emulator executables "runs compared" "runs differ" "model tests p/s/f" time)")
status=0
for machine in "${machines[@]}"; do
    read -r arch triple emulator cxx <<<"$machine"
    wanted "$arch" || continue
    compiler=$triple-g++
    [[ -z $cxx ]] || compiler="$cxx --target=$triple"
    echo "=== $arch: $compiler, $emulator"
    started=$SECONDS
    started_at=$(date +%s.%N)
    out=build/cross/$arch
    runner="$emulator -L /usr/$triple"
    mkdir -p "$out"
    # Nothing of an earlier run may be judged again.
    rm -rf "${out:?}/bin" "$out/runs.jsonl" "$out/models.xml" "$out/report.jsonl"
    built=0
    models="not run"
    junit=()
    if /usr/bin/python3 tools/build --cxx "${cxx:-g++}" --target "$triple" --werror "$out/bin" >"$out/build.log" 2>&1; then
        built=$(find "$out/bin" -maxdepth 1 -type f -name '*_b[0-9]' | wc -l)
        bash tests/compare_builds.sh --json "$out/runs.jsonl" "$tests/bin" --runner "$runner" "$out/bin" \
            >"$out/compare.log" 2>&1 || status=1
        grep '^DIFFERENT: ' "$out/compare.log" | head -n 5 || true
        if [[ $modelled == *" $arch "* ]]; then
            junit=(--junit "$PWD/$out/models.xml")
            if SUITE_BIN_DIR=$PWD/$out/bin SUITE_RUNNER=$runner SUITE_OWN_BUILD=1 \
                ctest --test-dir "$tests" -j2 -L '^random_' --output-junit "$PWD/$out/models.xml" \
                >"$out/models.log" 2>&1; then
                models=passed
            else
                models=FAILED
                status=1
                grep -A3 'Failure' "$out/models.log" | head -n 20 || true
            fi
        fi
    else
        cat "$out/build.log" >&2
        status=1
    fi
    # One JSON line per executable and a summary, as tools/judge writes
    # them: the runs compared, the first difference, the model tests failed
    # and skipped, the configuration from the folder's manifest.
    extra=$(printf '{"machine":"%s","cross_compiler":"%s","emulator":"%s","model_tests":"%s"}' \
        "$arch" "$compiler" "$emulator" "$models")
    if ((built > 0)); then
        /usr/bin/python3 tools/judge report --quiet --folder "$out/bin" --reference "$tests/bin" \
            --runner "$runner" --tests "$tests" --runs "$out/runs.jsonl" "${junit[@]}" --describe \
            --started "$started_at" --extra "$extra" --report "$out/report.jsonl" || status=1
    else
        printf '{"record":"summary",%s,"verdict":"failed","problems":["the build failed: %s"]}\n' \
            "${extra:1:-1}" "$out/build.log" >"$out/report.jsonl"
    fi
    cat "$out/report.jsonl" >>"$report"
    # Runs compared, runs differ, model tests passed/skipped/failed.
    IFS=$'\t' read -ra fields < <(/usr/bin/python3 tools/judge \
        summary "$out/report.jsonl" runs_compared differing_runs tests)
    seconds=$((SECONDS - started))
    rows+=("$(row "$arch" "$compiler" "$emulator" "$built" "${fields[0]}" "${fields[1]}" "${fields[2]}" \
        "$seconds s")")
    # machine, executables, runs compared, runs differ, tests passed/skipped/failed, seconds
    printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$arch ($compiler, $emulator)" "$built" "${fields[0]}" "${fields[1]}" \
        "${fields[2]}" "$seconds" >>"$summary"
done

echo "=== every machine"
printf '%s\n' "${rows[@]}" | tee build/cross/table.txt
echo "(one JSON line per executable and machine, and a summary per machine: $report)"
exit "$status"
