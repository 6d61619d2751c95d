#!/usr/bin/env bash
# Builds all of the suite's executables, under their names, with their debug
# files and the folder's manifest, into one folder: with another compiler,
# for another machine, or with other flags in place of each build's level.
#   tools/build_programs.sh [--cxx COMPILER] [--target TRIPLE] [--flags "FLAGS"] [--werror] OUT
# --target builds for another machine with Debian's cross libraries: clang++
# gets the triple (--target=TRIPLE), g++ becomes TRIPLE-g++. Without --flags
# every build keeps its level from CMakeLists.txt; with it, every build uses
# FLAGS instead (at compiling and at linking). The warnings of every build
# stay on; --werror makes them errors. The environment's CXXFLAGS and
# LDFLAGS are given to the compiler too. The build tree is kept under
# build/programs/ for the next run with the same compiler, target, flags and
# environment; executables not built for the target's machine, or whose
# manifest says other than what the build gave them, are refused.
set -euo pipefail

usage() {
    sed -n '4p' "$0" >&2
    exit 2
}

cxx=g++
target=""
flags=""
werror=OFF
while (($# > 1)); do
    case $1 in
    --cxx) cxx=$2 && shift 2 ;;
    --target) target=$2 && shift 2 ;;
    --flags) flags=$2 && shift 2 ;;
    --werror) werror=ON && shift ;;
    *) usage ;;
    esac
done
(($# == 1)) && [[ $1 != -* ]] || usage
mkdir -p "$1"
out=$(cd "$1" && pwd)
cd "$(dirname "$0")/.."

cmake_target=()
if [[ -n $target ]]; then
    case $cxx in
    *clang++*) cmake_target=(-DCMAKE_CXX_COMPILER_TARGET="$target") ;;
    g++ | g++-*) cxx=$target-$cxx ;;
    *) [[ $($cxx -dumpmachine) == "$target" ]] ||
        { echo "build_programs.sh: $cxx does not build for $target" >&2 && exit 2; } ;;
    esac
fi
command -v "$cxx" >/dev/null || { echo "build_programs.sh: no compiler $cxx" >&2 && exit 2; }
machine=$(/usr/bin/python3 tools/describe --machine-for "${target:-$($cxx -dumpmachine)}")

# Everything that changes what the tree builds names it: a tree is never
# reused for another compiler, target, flags or environment.
key="$(command -v "$cxx") $($cxx --version | head -n 1) target=$target flags=$flags werror=$werror"
key+=" CXXFLAGS=${CXXFLAGS:-} LDFLAGS=${LDFLAGS:-}"
tree=build/programs/$(printf '%s' "$cxx${target:+ $target}${flags:+ $flags}" | tr -c 'A-Za-z0-9+=.-' '_')
tree+=-$(sha256sum <<<"$key" | cut -c 1-12)
mkdir -p "$tree"
cmake -S . -B "$tree" -G Ninja -DCMAKE_CXX_COMPILER="$cxx" "${cmake_target[@]}" -DSUITE_PROGRAM_FLAGS="$flags" \
    -DSUITE_TESTS=OFF -DSUITE_WERROR="$werror" >"$tree/configure.log" 2>&1 ||
    { cat "$tree/configure.log" >&2 && exit 1; }
# Everything the compiler says is shown, without Ninja's progress lines.
cmake --build "$tree" -j2 | { grep -v '^\[[0-9]*/[0-9]*\] ' || true; }

# The manifest the build wrote says which machine each executable is for.
wrong=$(/usr/bin/python3 -c '
import json, sys
for line in open(sys.argv[1]):
    entry = json.loads(line)
    if entry["elf"]["machine"] != sys.argv[2]:
        print(entry["file"], entry["elf"]["machine"])
' "$tree/bin/manifest.jsonl" "$machine")
if [[ -n $wrong ]]; then
    echo "build_programs.sh: built for another machine than $machine, not copied:" >&2
    echo "$wrong" >&2
    exit 1
fi
# And every other label is what this build gave.
/usr/bin/python3 tests/check_manifest.py "$tree/bin" --build-tree "$tree" >"$tree/labels.log" 2>&1 ||
    { echo "build_programs.sh: the manifest's labels are not what the build gave, not copied:" >&2 &&
        cat "$tree/labels.log" >&2 && exit 1; }
cp -p "$tree"/bin/* "$out"/
built=$(find "$tree/bin" -type f -name '*_b[0-9]' | wc -l)
echo "built $built executables ($machine) with $cxx ${flags:-at their levels} into $out"
