#!/usr/bin/env bash
# From a bare Debian 12 machine to every program built and shown once:
# installs what the build needs (as root; another user is told the apt-get
# command), builds all executables with the release preset, then shows the
# last build of each program on its sample input, samples/<program>.in, as
# the dialogue would look at a terminal, under a line that says what the
# program does.
#   bash samples/demo.sh
set -euo pipefail
cd "$(dirname "$0")/.."

source tools/ensure_packages.sh
ensure_packages cmake ninja-build g++ binutils python3 python3-pyelftools

# Only errors from the configure step: without GoogleTest it would warn that
# the tests are not built, which does not matter here.
cmake --preset release --log-level=ERROR >/dev/null
cmake --build --preset release

bin=build/release/bin
driver=build/release/show_dialogue
if [[ ! -x $driver || samples/show_dialogue.cpp -nt $driver ]]; then
    g++ -std=c++20 -O2 -Wall -Wextra -Wpedantic -Wconversion -Werror -o "$driver" samples/show_dialogue.cpp
fi

# What a program does: the last column of its row in the table of programs
# in README.md, so that the demo says it in the words the reader finds there.
description_of() {
    local row
    row=$(grep -m1 "^| \`$1\` |" README.md) || { echo "README.md lists no program $1" >&2; exit 1; }
    row=${row%' |'}
    echo "${row##*' | '}"
}

printf '\nEvery program is built. Each one now runs its last build on its sample input,\n'
printf 'samples/<program>.in, as at a terminal: the command after "$", then the dialogue.\n'
for sample in samples/*.in; do
    program=$(basename "$sample" .in)
    description=$(description_of "$program")
    builds=("$bin/${program}"_b?)
    printf '\n==> %s: %s\n' "$program" "$description"
    "$driver" "${builds[-1]}" "$sample"
done
