#!/usr/bin/env bash
# Every build of a program, from every compiler, must give the same bytes
# and exit status for the same input. Runs each program's golden inputs and
# its sample through all its builds in the given folders and compares every
# run with the golden output and status where the input has them (nothing
# may appear on standard error then), otherwise with the first folder's run
# of the first build; a difference is shown with its first differing byte,
# counted from 1, and the bytes of both sides around it. A file of the suite
# that is missing or not executable is named, with the runs it could not
# make. The runs go two at a time, each for at most 300 s.
#   compare_builds.sh [--json FILE] [--runner <command>] <folder of executables> [[--runner <command>] <folder> ...]
# A runner, such as "qemu-s390x -L /usr/s390x-linux-gnu" for executables
# built for another machine, is put in front of those of the folder after it.
# Differences go to standard error as "DIFFERENT: <executable> on <input>,
# against <what>: at byte N ...", then "<folder>: N runs" for each folder
# and "compared N runs over M build folders: K differences"; --json writes
# one JSON line per run (and per file that could not run) for tools. The
# exit status is 0 only when nothing differs and every file ran.
set -euo pipefail
exec /usr/bin/python3 "$(dirname "$0")/../tools/judge" compare "$@"
