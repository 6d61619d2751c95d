#!/usr/bin/env bash
# Drives prompting programs on a real pseudo-terminal under tmux: each
# answer is typed only once its prompt is on the screen, and the screen is
# then compared with what a person would see.
#   terminal_dialogue.sh <default folder of the executables> [<runner>]
# SUITE_BIN_DIR and SUITE_RUNNER, where set, choose the folder and the
# runner (such as "qemu-s390x -L /usr/s390x-linux-gnu") as for the tests.
set -euo pipefail

bin=${SUITE_BIN_DIR:-$1}
runner=${SUITE_RUNNER:-${2:-}}
socket="suite-terminal-$$"
trap 'tmux -L "$socket" kill-server 2>/dev/null || true' EXIT
# A session that outlives the dialogues, so that the server does not exit
# (and race the next dialogue's start) each time a dialogue's session ends.
tmux -L "$socket" new-session -d -s keep "sleep 600"

screen() { tmux -L "$socket" capture-pane -p -t dialogue | sed -e 's/[[:space:]]*$//' -e '/^$/d'; }

# Waits until the screen's last line is exactly $1, in the dialogue with
# $executable.
wait_for_line() {
    for _ in $(seq 200); do
        [[ "$(screen | tail -n 1)" == "$1" ]] && return 0
        sleep 0.05
    done
    echo "$executable: timed out waiting for \"$1\"; the screen shows:" >&2
    screen >&2
    return 1
}

# dialogue <executable> <expected screen> <prompt> <answer> [<prompt> <answer> ...]
dialogue() {
    local executable=$1 expected=$2
    shift 2
    tmux -L "$socket" new-session -d -x 100 -y 30 -s dialogue "$runner $bin/$executable; echo \"exit status \$?\"; sleep 60"
    while (($# > 0)); do
        wait_for_line "$1"
        tmux -L "$socket" send-keys -t dialogue "$2" Enter
        shift 2
    done
    wait_for_line "exit status 0"
    if [[ "$(screen)" != "$expected" ]]; then
        printf 'screen of %s differs; expected:\n%s\nseen:\n' "$executable" "$expected" >&2
        screen >&2
        return 1
    fi
    tmux -L "$socket" kill-session -t dialogue
    echo "ok: $executable"
}

dialogue fib_table_b2 "please enter nr: 10
the 10th fibonacci number is 55
exit status 0" \
    "please enter nr:" "10"

dialogue complex_product_b0 "please enter the real and imagnary part:
1 2
and again:
3 4
( -5, 10 )
exit status 0" \
    "please enter the real and imagnary part:" "1 2" \
    "and again:" "3 4"

dialogue array_compare_b3 "please enter the number of elements:
2
please enter the 2 elements of a:
1 2
please enter the 2 elements of b:
2 1
result of memcmp1 is -1
result of memcmp2 is 1
result of memcmp3 is -1
result of memcmp4 is -1
result of scalar1 is 4
result of sum1 is 3 3
result of sum2 is 3 3
exit status 0" \
    "please enter the number of elements:" "2" \
    "please enter the 2 elements of a:" "1 2" \
    "please enter the 2 elements of b:" "2 1"
