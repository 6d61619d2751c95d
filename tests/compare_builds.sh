#!/usr/bin/env bash
# Every build of a program, from every compiler, must give the same bytes
# and exit status for the same input. Runs each program's golden inputs and
# its sample through all its builds in the given folders and compares every
# run with the first build's, and with the golden output and status where
# the input has them; a difference is shown with the first bytes that
# differ. Two programs run at a time.
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
runs=()
differences=0

# Up to 20 bytes of file $1 from byte $2 (counted from 1) on, in double
# quotes, with C escapes for quotes, backslashes, tabs and line ends.
excerpt() {
    local chunk=""
    LC_ALL=C IFS= read -r -d '' -n 20 chunk < <(tail -c +"$2" "$1") || true
    chunk=${chunk//\\/\\\\}
    chunk=${chunk//\"/\\\"}
    chunk=${chunk//$'\t'/\\t}
    chunk=${chunk//$'\r'/\\r}
    chunk=${chunk//$'\n'/\\n}
    printf '"%s"' "$chunk"
}

# How output $3 with status $4 differs from the reference output $1 with
# status $2; nothing when they are alike.
difference() {
    local text="" report at
    if ! report=$(cmp "$1" "$3" 2>&1); then
        at=$(sed -nE 's/.* differ: byte ([0-9]+).*/\1/p; s/.* after byte ([0-9]+).*/\1+1/p' <<<"$report")
        at=$((${at:-1}))
        text="at byte $at: $(excerpt "$3" "$at") instead of $(excerpt "$1" "$at")"
    fi
    if [[ $2 != "$4" ]]; then text="${text:+$text; }exit status $4 instead of $2"; fi
    echo "$text"
}

# Runs every input of one program through all its builds; writes each
# difference to standard error and the counts of runs per folder and of
# differences to $scratch/<program>.counts.
compare_program() {
    local program=$1 executables=() origins=() i j input status reference_status what golden
    local -a counts=()
    local differences=0 out=$scratch/$program.out reference=$scratch/$program.reference
    for i in "${!folders[@]}"; do
        for executable in "${folders[i]}/${program}_b"[0-9]; do
            executables+=("$executable")
            origins+=("$i")
        done
    done
    for input in "$root/tests/golden/$program/"*.in "$root/samples/$program.in"; do
        golden=${input%.in}.out
        for j in "${!executables[@]}"; do
            i=${origins[j]}
            read -ra prefix <<<"${runners[i]}"
            status=0
            "${prefix[@]}" "${executables[j]}" <"$input" >"$out" 2>&1 || status=$?
            counts[i]=$((${counts[i]:-0} + 1))
            if ((j == 0)); then
                mv "$out" "$reference"
                reference_status=$status
                if [[ -f $golden ]]; then
                    local golden_status=0
                    [[ ! -f ${input%.in}.status ]] || golden_status=$(<"${input%.in}.status")
                    what=$(difference "$golden" "$golden_status" "$reference" "$status")
                    if [[ -n $what ]]; then
                        echo "DIFFERENT: ${executables[j]} on ${input#"$root"/}, against ${golden#"$root"/}: $what" >&2
                        differences=$((differences + 1))
                    fi
                fi
                continue
            fi
            what=$(difference "$reference" "$reference_status" "$out" "$status")
            if [[ -n $what ]]; then
                echo "DIFFERENT: ${executables[j]} on ${input#"$root"/}, against ${executables[0]}: $what" >&2
                differences=$((differences + 1))
            fi
        done
    done
    for i in "${!folders[@]}"; do echo "${counts[i]:-0}"; done >"$scratch/$program.counts"
    echo "$differences" >>"$scratch/$program.counts"
}

programs=()
for folder in "$root"/tests/golden/*/; do programs+=("$(basename "$folder")"); done
for program in "${programs[@]}"; do
    while (($(jobs -rp | wc -l) >= 2)); do wait -n || true; done
    compare_program "$program" &
done
wait

for program in "${programs[@]}"; do
    mapfile -t counted <"$scratch/$program.counts"
    for i in "${!folders[@]}"; do runs[i]=$((${runs[i]:-0} + counted[i])); done
    differences=$((differences + counted[-1]))
done

total=0
for i in "${!folders[@]}"; do
    echo "${folders[i]}: ${runs[i]:-0} runs"
    total=$((total + ${runs[i]:-0}))
done
echo "compared $total runs over ${#folders[@]} build folders: $differences differences"
((differences == 0))
