#!/usr/bin/env bash
# Builds all of the suite's executables, under their names, into one folder:
# with another compiler, or with other flags in place of each build's level.
#   tools/build_programs.sh [--cxx COMPILER] [--flags "FLAGS"] [--werror] OUT
# Without --flags every build keeps its level from CMakeLists.txt; with it,
# every build uses FLAGS instead (at compiling and at linking). The warnings
# of every build stay on; --werror makes them errors. The build tree is kept
# under build/programs/ for the next run with the same compiler and flags.
set -euo pipefail

usage() {
    sed -n '4p' "$0" >&2
    exit 2
}

cxx=g++
flags=""
werror=OFF
while (($# > 1)); do
    case $1 in
    --cxx) cxx=$2 && shift 2 ;;
    --flags) flags=$2 && shift 2 ;;
    --werror) werror=ON && shift ;;
    *) usage ;;
    esac
done
(($# == 1)) && [[ $1 != -* ]] || usage
mkdir -p "$1"
out=$(cd "$1" && pwd)
cd "$(dirname "$0")/.."

tree=build/programs/$(printf '%s' "$cxx${flags:+ $flags}" | tr -c 'A-Za-z0-9+=.-' '_')
mkdir -p "$tree"
cmake -S . -B "$tree" -G Ninja -DCMAKE_CXX_COMPILER="$cxx" -DSUITE_PROGRAM_FLAGS="$flags" -DSUITE_TESTS=OFF \
    -DSUITE_WERROR="$werror" >"$tree/configure.log" 2>&1 || { cat "$tree/configure.log" >&2 && exit 1; }
# Everything the compiler says is shown, without Ninja's progress lines.
cmake --build "$tree" -j2 | { grep -v '^\[[0-9]*/[0-9]*\] ' || true; }
cp -p "$tree"/bin/* "$out"/
echo "built $(find "$tree/bin" -type f | wc -l) executables with $cxx ${flags:-at their levels} into $out"
