#!/usr/bin/env bash
# Every build of a program, from every compiler, must give the same bytes
# and exit status for the same input. Runs each program's golden inputs and
# its sample through all its builds in the given folders and compares them.
#   compare_builds.sh [--runner <command>] <folder of executables> [[--runner <command>] <folder> ...]
# A runner, such as "qemu-s390x -L /usr/s390x-linux-gnu" for executables
# built for another machine, is put in front of those of the folder after it.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
folders=()
runners=()
while (($# > 0)); do
    runner=""
    if [[ $1 == --runner ]]; then
        runner=$2
        shift 2
    fi
    folders+=("$1")
    runners+=("$runner")
    shift
done
checked=0
differences=0

for folder in "$root"/tests/golden/*/; do
    program=$(basename "$folder")
    executables=()
    prefixes=()
    for i in "${!folders[@]}"; do
        for executable in "${folders[i]}/${program}_b"[0-9]; do
            executables+=("$executable")
            prefixes+=("${runners[i]}")
        done
    done
    for input in "$folder"*.in "$root/samples/$program.in"; do
        reference=""
        for i in "${!executables[@]}"; do
            read -ra prefix <<<"${prefixes[i]}"
            status=0
            "${prefix[@]}" "${executables[i]}" <"$input" >"$scratch/out" 2>&1 || status=$?
            result="$(sha256sum <"$scratch/out" | cut -c1-64) exit $status"
            if [[ -z "$reference" ]]; then
                reference=$result
                first=${executables[i]}
            elif [[ "$result" != "$reference" ]]; then
                echo "DIFFERENT: ${executables[i]} and $first on $input" >&2
                differences=$((differences + 1))
            fi
            checked=$((checked + 1))
        done
    done
done

echo "compared $checked runs over ${#folders[@]} build folders: $differences differences"
((differences == 0))
