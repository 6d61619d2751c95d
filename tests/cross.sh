#!/usr/bin/env bash
# Every machine Debian 12 has a cross compiler and qemu-user for: builds the
# 51 executables with Debian's cross compiler into build/cross/<arch>/bin,
# runs every golden dialogue under the emulator and compares every run with
# the native release build (tests/compare_builds.sh), and on five machines
# of different kinds also runs the randomised model tests of the release
# test build against the folder. Prints a table at the end and writes one
# JSON line per program and machine to the report.
#   tests/cross.sh [--report FILE] [ARCH ...]   (default: every machine below)
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

source tools/ensure_packages.sh
packages=(qemu-user)
for machine in "${machines[@]}"; do
    read -r arch triple _ <<<"$machine"
    ((${#wanted[@]} == 0)) || [[ " ${wanted[*]} " == *" $arch "* ]] || continue
    packages+=("g++-$triple")
done
ensure_packages cmake ninja-build g++ libgtest-dev googletest tmux "${packages[@]}"

# The native release build and its tests, once.
cmake --preset release >/dev/null
cmake --build --preset release >/dev/null

mkdir -p "$(dirname "$report")"
: >"$report"
# One row of the table.
row() { printf '%-9s %-28s %-14s %11s %13s %11s %15s %6s\n' "$@"; }
rows=("$(row machine compiler emulator executables "runs compared" "runs differ" "model tests" time)")
status=0
for machine in "${machines[@]}"; do
    read -r arch triple emulator <<<"$machine"
    ((${#wanted[@]} == 0)) || [[ " ${wanted[*]} " == *" $arch "* ]] || continue
    echo "=== $arch: $triple-g++, $emulator"
    started=$SECONDS
    out=build/cross/$arch
    runner="$emulator -L /usr/$triple"
    mkdir -p "$out"
    built=0
    runs=- differ=- models=-
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
        fi
    else
        cat "$out/build.log" >&2
        status=1
    fi
    seconds=$((SECONDS - started))
    rows+=("$(row "$arch" "$triple-g++" "$emulator" "$built" "$runs" "$differ" "$models" "$seconds s")")
    # One JSON line per program: its builds, the runs compared and the first
    # difference, if any.
    for folder in tests/golden/*/; do
        program=$(basename "$folder")
        builds=$(find "$out/bin" -name "${program}_b[0-9]" 2>/dev/null | wc -l)
        first=$(grep -m1 -E "^DIFFERENT: [^ ]*/${program}_b[0-9]+ on " "$out/compare.log" 2>/dev/null) || true
        differing=$(grep -cE "^DIFFERENT: [^ ]*/${program}_b[0-9]+ on " "$out/compare.log" 2>/dev/null) || true
        inputs=$(($(find "$folder" -name '*.in' | wc -l) + 1))
        difference=null
        if [[ -n $first ]]; then
            build=$(sed -E 's|^DIFFERENT: [^ ]*/([^/ ]+) on .*|\1|' <<<"$first")
            input=$(sed -E 's|^DIFFERENT: [^ ]+ on ([^,]+),.*|\1|' <<<"$first")
            offset=$(sed -nE 's|.* at byte ([0-9]+):.*|\1|p' <<<"$first")
            difference="{\"build\":\"$build\",\"input\":\"$input\",\"offset\":${offset:-0}}"
        fi
        printf '{"architecture":"%s","program":"%s","builds":%d,"runs_compared":%d,"differing_runs":%d,"first_difference":%s,"model_tests":"%s"}\n' \
            "$arch" "$program" "$builds" "$((builds * inputs))" \
            "${differing:-0}" "$difference" "$models" >>"$report"
    done
done

echo "=== every machine"
printf '%s\n' "${rows[@]}" | tee build/cross/table.txt
echo "(one JSON line per program and machine: $report)"
exit "$status"
