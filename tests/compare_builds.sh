#!/usr/bin/env bash
# Every build of a program, from every compiler, must give the same bytes
# and exit status for the same input. Runs each program's golden inputs and
# its sample through all its builds in the given folders and compares every
# run with the golden output and status where the input has them (nothing
# may appear on standard error then), otherwise with the first build's run;
# a difference is shown with the first bytes that differ. The runs go two at
# a time.
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

# Every run, in the order of programs, inputs and builds, two at a time:
# run <n> <folder index> <executable> <input> leaves the output of run n
# (standard output and error) in $scratch/<n>.out and its exit status in
# $scratch/<n>.status. $scratch/<program>.runs lists the program's runs.
run() {
    local -a prefix
    read -ra prefix <<<"${runners[$2]}"
    local status=0
    "${prefix[@]}" "$3" <"$4" >"$scratch/$1.out" 2>&1 || status=$?
    echo "$status" >"$scratch/$1.status"
}

programs=()
for folder in "$root"/tests/golden/*/; do programs+=("$(basename "$folder")"); done
n=0
running=0
for program in "${programs[@]}"; do
    for input in "$root/tests/golden/$program/"*.in "$root/samples/$program.in"; do
        for i in "${!folders[@]}"; do
            for executable in "${folders[i]}/${program}_b"[0-9]; do
                [[ -e $executable ]] || continue
                if ((running >= 2)); then
                    wait -n || true
                    running=$((running - 1))
                fi
                run "$n" "$i" "$executable" "$input" &
                running=$((running + 1))
                printf '%s\t%s\t%s\t%s\n' "$n" "$i" "$executable" "$input" >>"$scratch/$program.runs"
                n=$((n + 1))
            done
        done
    done
done
wait

# Compares the runs of one program: with the golden output and status
# where the input has them, otherwise with the first build's run of the
# input. Writes each difference to $scratch/<program>.different, and the
# counts of runs per folder and of differences to $scratch/<program>.counts.
compare_program() {
    local program=$1 k i executable input status what first="" against expected expected_status
    local -a counts=()
    local differences=0
    [[ -f $scratch/$program.runs ]] || : >"$scratch/$program.runs"
    while IFS=$'\t' read -r k i executable input; do
        status=$(<"$scratch/$k.status")
        counts[i]=$((${counts[i]:-0} + 1))
        if [[ $input != "$first" ]]; then
            first=$input
            if [[ -f ${input%.in}.out ]]; then
                against=${input%.in}.out
                against=${against#"$root"/}
                expected=${input%.in}.out
                expected_status=0
                [[ ! -f ${input%.in}.status ]] || expected_status=$(<"${input%.in}.status")
            else
                against=$executable
                expected=$scratch/$program.reference
                expected_status=$status
                cp "$scratch/$k.out" "$expected"
                continue
            fi
        fi
        what=$(difference "$expected" "$expected_status" "$scratch/$k.out" "$status")
        if [[ -n $what ]]; then
            echo "DIFFERENT: $executable on ${input#"$root"/}, against $against: $what"
            differences=$((differences + 1))
        fi
    done <"$scratch/$program.runs" >"$scratch/$program.different"
    for i in "${!folders[@]}"; do echo "${counts[i]:-0}"; done >"$scratch/$program.counts"
    echo "$differences" >>"$scratch/$program.counts"
}

# Two programs compared at a time.
running=0
for program in "${programs[@]}"; do
    if ((running >= 2)); then
        wait -n || true
        running=$((running - 1))
    fi
    compare_program "$program" &
    running=$((running + 1))
done
wait

for program in "${programs[@]}"; do
    cat "$scratch/$program.different" >&2
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
