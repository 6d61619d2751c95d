#!/usr/bin/env bash
# From a bare Debian 12 machine to every program built and shown once:
# installs what the build needs (as root; another user is told the apt-get
# command), builds all executables with the release preset, then shows the
# last build of each program on its sample input, samples/<program>.in, as
# the dialogue would look at a terminal.
#   bash samples/demo.sh
set -euo pipefail
cd "$(dirname "$0")/.."

source tools/ensure_packages.sh
ensure_packages cmake ninja-build g++

# Only errors from the configure step: without GoogleTest it would warn that
# the tests are not built, which does not matter here.
cmake --preset release --log-level=ERROR >/dev/null
cmake --build --preset release

bin=build/release/bin
driver=build/release/show_dialogue
if [[ ! -x $driver || samples/show_dialogue.cpp -nt $driver ]]; then
    g++ -std=c++20 -O2 -Wall -Wextra -Wpedantic -Wconversion -Werror -o "$driver" samples/show_dialogue.cpp
fi

printf '\nEvery program is built. Each one now runs its last build on its sample input:\n'
for sample in samples/*.in; do
    program=$(basename "$sample" .in)
    builds=("$bin/${program}"_b?)
    executable=${builds[-1]}
    printf '\n==> %s, input %s\n' "$(basename "$executable")" "$sample"
    "$driver" "$executable" "$sample"
done
