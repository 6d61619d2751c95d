#!/usr/bin/env bash
# Every build of a program, from every compiler, must give the same bytes
# and exit status for the same input. Runs each program's golden inputs and
# its sample through all its builds in the given folders and compares them.
#   compare_builds.sh <folder of executables> [<folder> ...]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
checked=0
differences=0

for folder in "$root"/tests/golden/*/; do
    program=$(basename "$folder")
    executables=()
    for bin in "$@"; do executables+=("$bin/${program}_b"[0-9]); done
    for input in "$folder"*.in "$root/samples/$program.in"; do
        reference=""
        for executable in "${executables[@]}"; do
            status=0
            "$executable" <"$input" >"$scratch/out" 2>&1 || status=$?
            result="$(sha256sum <"$scratch/out" | cut -c1-64) exit $status"
            if [[ -z "$reference" ]]; then
                reference=$result
                first=$executable
            elif [[ "$result" != "$reference" ]]; then
                echo "DIFFERENT: $executable and $first on $input" >&2
                differences=$((differences + 1))
            fi
            checked=$((checked + 1))
        done
    done
done

echo "compared $checked runs over $# build folders: $differences differences"
((differences == 0))
