#!/usr/bin/env python3
"""Whole-program fuzz pass over every build of every program of the suite.

Each case picks a program (the programs take turns), makes one input for it
and runs every build of the program on that input.  A case fails when a
build
  - ends by a signal, or with an exit status other than 0 and 255;
  - writes anything to standard error (a sanitizer report included), apart
    from the allocator's one-line note on a block it refused;
  - is still running when the time limit per run is over;
or when the builds of one program differ in exit status or output.

The input of a case depends only on the seed and the case's number, so
`programs.py --seed S --case N` runs a failed case again.  A failure is
saved under build/fuzz-failures/ as the input (.in) and what went wrong
(.txt), and the pass then exits with status 1.

Some programs do work in proportion to a number they read first (a count,
a dimension, an index).  For those, that number is drawn from a bounded set
of values, written in any of the forms the reader accepts; everything after
it is fuzzed freely.
"""

import argparse
import concurrent.futures
import glob
import itertools
import os
import random
import re
import resource
import signal
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
INT_MIN, INT_MAX = -(2**31), 2**31 - 1
MAX_INPUT = 200_000  # bytes of one input
STACK_LIMIT = 8 << 20  # fib_recursive chooses recursion by the stack limit

# Counts whose blocks exceed the allocator's cap of 512 MiB, so that the
# program refuses them at once: 4-byte elements from 134217729 on, 12-byte
# records from 44739243 on, a matrix from dimension 11586 on.
REFUSED_INTS = [134217729, 2**30, 2**30 + 1, INT_MAX]
REFUSED_RECORDS = [44739243, 357913942, INT_MAX]
REFUSED_DIMENSIONS = [11586, 32767, 32768, 65536, INT_MAX]
NEGATIVES = [-1, -2, -3, -10, -32768, -(2**30), INT_MIN + 1, INT_MIN]
SORT_COUNTS = [0, 1, 2, 3, 5, 9, 10, 11, 16, 17, 100, 1000, 20000] + NEGATIVES + REFUSED_INTS

# The values the first number may take, for the programs whose work it sets.
WORK_SETTING = {
    "count_down_up": [0, 1, 2, 3, 9, 10, 11, 99, 100, 101, 999, 1000, 1001, 9999, 10000, 10001, 99999, 100000,
                      100001, 999999, 1000000] + NEGATIVES,
    "fib_loop": [0, 1, 2, 3, 10, 46, 47, 48, 1000, 10**6, 10**7, 2**24] + NEGATIVES,
    # From 10^6 on, no 8 MiB stack holds the chain of calls: it must loop.
    "fib_recursive": [0, 1, 2, 3, 10, 20, 25, 30, 10**6, 10**7, 2**24] + NEGATIVES,
    "fib_table": [0, 1, 2, 3, 10, 46, 47, 48, 1000, 10**6, 134217727, 134217728] + NEGATIVES + REFUSED_INTS,
    "heap_sort": SORT_COUNTS,
    "quick_sort": SORT_COUNTS,
    "record_sort": [0, 1, 2, 3, 10, 100, 1000] + NEGATIVES + REFUSED_RECORDS,
    "matrix_product": [0, 1, 2, 3, 4, 15, 16, 17, 33, 100] + NEGATIVES + REFUSED_DIMENSIONS,
}

EDGE_VALUES = [0, 1, 2, 7, 8, 9, 10, 11, 15, 16, 17, 33, 34, 46, 47, 255, 256, 46341, 46344, 65535, 65536,
               2**31 - 2, 2**32 - 1, 2**32, 2**32 + 1, 2**30 - 1, 2**30] + REFUSED_INTS + NEGATIVES
WHITE_SPACE = " \t\n\v\f\r"
GARBAGE = ["x", "X", "0x", "0X", "-", "+", "--1", "+-2", "-+3", "0x-1", "1e5", "3.14", ",", ";", "a", "g",
           "0xg", "08", "09", "0b101", "00000", "-0", "+0", "0x0x", "\0", "\xff", "\x80", "\u00e9", "- 5",
           "0x ", "NaN", "inf", "0777777777777", "\x1b[A", "1,000", "\r\n"]
ALLOCATOR_NOTE = re.compile(rb"==\d+==WARNING: AddressSanitizer failed to allocate 0x[0-9a-f]+ bytes\n")


# --- Writing numbers --------------------------------------------------------

def spell(rng, value):
    """`value` written in one of the forms that read back as it: decimal,
    hexadecimal or octal, with an optional sign, leading zeros (up to
    thousands), or a multiple of 2^32 added.  The number keeps within the
    64-bit range, where the reading keeps its low 32 bits: beyond it, the
    reading saturates and the value is lost."""
    # Below 2^31 times 2^32, the magnitude is at most 2^63 - 1, for either sign.
    wraps = rng.choice([0, 0, 0, 0, 1, rng.randrange(2**31), 10 ** rng.randrange(10), 2**31 - 1])
    negative = rng.random() < (0.8 if value < 0 else 0.1)
    magnitude = (-value if negative else value) % 2**32 + wraps * 2**32
    sign = "-" if negative else rng.choice(["", "", "", "+"])
    form = rng.choice("ddhho")
    if form == "d":
        digits = str(magnitude)
    elif form == "h":
        digits = rng.choice(["0x", "0X"]) + "0" * rng.choice([0, 0, 1, 9, 3000]) + rng.choice(["%x", "%X"]) % magnitude
    else:
        digits = "0" * rng.choice([1, 1, 2, 50, 3000]) + "%o" % magnitude
    return sign + digits


def spell_wide(rng):
    """A number at the edges of the 64-bit range or beyond them, where the
    reading saturates, in any form the reader takes."""
    magnitude = rng.choice([2**63, 2**64]) + rng.randint(-2, 2) + rng.choice([0, 0, 0, 10 ** rng.randrange(40)])
    form = rng.choice("dho")
    digits = str(magnitude) if form == "d" else ("0x%x" if form == "h" else "0%o") % magnitude
    return rng.choice(["", "+", "-", "-"]) + digits


def random_digits(rng):
    """A run of digits of up to thousands, with or without a base prefix."""
    length = rng.choice([1, 10, 11, 50, 1000, 5000, 5000, 70000 if rng.random() < 0.1 else 20])
    alphabet = rng.choice(["0123456789", "01234567", "0123456789abcdefABCDEF", "9", "0", "7"])
    prefix = rng.choice(["", "", "0", "0x", "-", "+", "-0x"])
    return prefix + "".join(rng.choices(alphabet, k=rng.randint(1, length)))


def token(rng):
    """One piece of a dialogue: mostly a number, sometimes none."""
    pick = rng.random()
    if pick < 0.35:
        return spell(rng, rng.choice(EDGE_VALUES))
    if pick < 0.65:
        return spell(rng, rng.choice([rng.randint(-20, 20), rng.randint(-1000, 1000), rng.randrange(2**32)]))
    if pick < 0.72:
        return random_digits(rng)
    if pick < 0.75:
        return spell_wide(rng)
    if pick < 0.95:
        return rng.choice(GARBAGE)
    return "".join(chr(rng.randrange(256)) for _ in range(rng.randint(1, 20)))


def separator(rng):
    pick = rng.random()
    if pick < 0.8:
        return rng.choice([" ", " ", "\n", "\t"])
    if pick < 0.9:
        return ""
    if pick < 0.995:
        return "".join(rng.choices(WHITE_SPACE, k=rng.randint(2, 20)))
    return rng.choice(WHITE_SPACE) * rng.choice([100, 4096, 65535, 65536, 70000])


# --- Making inputs ------------------------------------------------------------

def dialogue(rng):
    count = rng.choice([rng.randint(0, 8), rng.randint(0, 40), rng.randint(0, 400), rng.randint(0, 3000)])
    parts = [separator(rng) if rng.random() < 0.3 else ""]
    size = len(parts[0])
    for _ in range(count):
        if size > MAX_INPUT:
            break
        parts += [token(rng), separator(rng)]
        size += len(parts[-2]) + len(parts[-1])
    return "".join(parts).encode("latin-1")


def random_bytes(rng):
    alphabet = rng.choice([bytes(range(256)), b"0123456789 \n-+xX", b"0 \t\n\v\f\r", b"01234567x-+ abcdefABCDEF\0"])
    return bytes(rng.choices(alphabet, k=rng.choice([0, 1, 2, 10, 100, 1000, 10000])))


def mutate(rng, data):
    """A few byte-level edits: overwrite, insert, delete, duplicate."""
    data = bytearray(data)
    for _ in range(rng.randint(1, 8)):
        at = rng.randint(0, len(data))
        edit = rng.randrange(4)
        if edit == 0 and at < len(data):
            data[at] = rng.choice([rng.randrange(256), 0, ord(rng.choice("0x-+9 \n"))])
        elif edit == 1:
            data[at:at] = rng.choice([b"\0", b"0x", b"-", b"99999999999", bytes([rng.randrange(256)])])
        elif edit == 2:
            del data[at:at + rng.randint(1, 16)]
        else:
            data[at:at] = data[at:at + rng.randint(1, 64)] * rng.randint(1, 4)
    return bytes(data)


def make_input(rng, program):
    """The first number, when it sets the program's work, from its bounded
    set; then a free part: a random dialogue, a mutated one or random
    bytes, at times cut short."""
    if rng.random() < 0.01:
        return b""
    head = b""
    if program in WORK_SETTING:
        value = rng.choice(WORK_SETTING[program])
        if value == 0 and rng.random() < 0.3:
            written = rng.choice(["x", "-", "+", "0x", "-0x", "00", "08", "\0", "- 7", "abc"])
        else:
            written = spell(rng, value)
        head = (separator(rng) + written + rng.choice(WHITE_SPACE)).encode("latin-1")
    pick = rng.random()
    tail = dialogue(rng) if pick < 0.85 else random_bytes(rng)
    if 0.55 < pick < 0.85:
        tail = mutate(rng, tail)
    if rng.random() < 0.2:
        tail = tail[:rng.randint(0, len(tail))]
    return (head + tail)[:MAX_INPUT]


# --- Running --------------------------------------------------------------------

def run(executable, data, timeout):
    """(problem or None, exit status, output) of one run."""
    try:
        done = subprocess.run([executable], input=data, capture_output=True, timeout=timeout)
    except subprocess.TimeoutExpired:
        return f"no end within {timeout} s", None, None
    errors = ALLOCATOR_NOTE.sub(b"", done.stderr)
    if done.returncode < 0:
        problem = f"ended by signal {signal.Signals(-done.returncode).name}"
    elif b"Sanitizer" in errors:
        problem = f"sanitizer report (exit status {done.returncode})"
    elif done.returncode not in (0, 255):
        problem = f"exit status {done.returncode}"
    elif errors:
        problem = "wrote to standard error"
    else:
        problem = None
    if problem and done.stderr:
        problem += ":\n" + done.stderr[:4000].decode("latin-1")
    return problem, done.returncode, done.stdout


def first_difference(a, b):
    return next((i for i, (x, y) in enumerate(zip(a, b)) if x != y), min(len(a), len(b)))


def run_case(seed, index, programs, timeout):
    """Runs case `index`; returns (program, input, problems, runs made)."""
    names = sorted(programs)
    program = names[index % len(names)]
    data = make_input(random.Random(f"{seed}/{index}"), program)
    problems = []
    finished = []  # (build, exit status, output) of the runs without a problem
    # A build is named by its path below the folder that all builds share.
    shared = os.path.commonpath([os.path.dirname(e) for e in programs[program]])
    for executable in programs[program]:
        problem, status, output = run(executable, data, timeout)
        build = os.path.relpath(executable, shared)
        if problem:
            problems.append(f"{build}: {problem}")
        else:
            finished.append((build, status, output))
    if finished:
        first, status, output = finished[0]
        differing = [f"{build}: exit status {other_status}, output differs from byte {first_difference(output, other)}"
                     for build, other_status, other in finished[1:] if (other_status, other) != (status, output)]
        if differing:
            problems.append(f"the builds differ: {first} gives exit status {status} and {len(output)} bytes of "
                            "output; " + "; ".join(differing))
    return program, data, problems, len(programs[program])


def save_failure(directory, executable, seed, index, program, data, problems):
    directory.mkdir(parents=True, exist_ok=True)
    base = directory / f"{program}-seed{seed}-case{index}"
    base.with_suffix(".in").write_bytes(data)
    base.with_suffix(".txt").write_text(
        f"program: {program}\nseed {seed}, case {index}; again: python3 fuzz/programs.py --seed {seed} --case {index}\n"
        f"input: {base.name}.in ({len(data)} bytes); a build runs on it as\n"
        f"  ASAN_OPTIONS={os.environ['ASAN_OPTIONS']} {executable} < {base}.in\n\n"
        + "\n\n".join(problems) + "\n")
    return base


def find_programs(bin_dirs):
    programs = {}
    for bin_dir in bin_dirs:
        for path in sorted(glob.glob(str(bin_dir / "*_b[0-9]"))):
            programs.setdefault(re.sub(r"_b\d+$", "", os.path.basename(path)), []).append(path)
    return programs


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--cases", type=int, help="run this many cases (default: until --duration is over)")
    parser.add_argument("--duration", type=float, default=60, help="seconds to run when --cases is not given")
    parser.add_argument("--case", type=int, help="run this one case only")
    parser.add_argument("--timeout", type=float, default=30, help="seconds one run may take")
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 1)
    parser.add_argument("--bin", type=Path, action="append",
                        help="a folder of builds (default: build/sanitize/bin); given more than once, the builds of "
                             "a program in all of them are compared")
    parser.add_argument("--failures", type=Path, default=ROOT / "build/fuzz-failures")
    parser.add_argument("--max-failures", type=int, default=20)
    options = parser.parse_args()

    # Most programs keep their blocks until they exit, by design: no leak is a failure.
    os.environ["ASAN_OPTIONS"] = "allocator_may_return_null=1:max_allocation_size_mb=512:detect_leaks=0"
    os.environ["UBSAN_OPTIONS"] = "print_stacktrace=1:halt_on_error=1"
    _, hard = resource.getrlimit(resource.RLIMIT_STACK)
    stack = STACK_LIMIT if hard == resource.RLIM_INFINITY else min(STACK_LIMIT, hard)
    resource.setrlimit(resource.RLIMIT_STACK, (stack, hard))
    bin_dirs = options.bin or [ROOT / "build/sanitize/bin"]
    programs = find_programs(bin_dirs)
    if not programs:
        sys.exit(f"programs.py: no executables in {', '.join(map(str, bin_dirs))}")

    if options.case is not None:
        indices = iter([options.case])
    elif options.cases is not None:
        indices = iter(range(options.cases))
    else:
        deadline = time.monotonic() + options.duration
        indices = itertools.takewhile(lambda _: time.monotonic() < deadline, itertools.count())

    started = next_report = time.monotonic()
    cases = runs = failures = 0
    with concurrent.futures.ThreadPoolExecutor(options.jobs) as pool:
        pending = set()
        while True:
            while len(pending) < 2 * options.jobs and failures < options.max_failures:
                index = next(indices, None)
                if index is None:
                    break
                pending.add(pool.submit(lambda i=index: (i, *run_case(options.seed, i, programs, options.timeout))))
            if not pending:
                break
            done, pending = concurrent.futures.wait(pending, return_when=concurrent.futures.FIRST_COMPLETED)
            for future in done:
                index, program, data, problems, made = future.result()
                cases += 1
                runs += made
                if problems:
                    failures += 1
                    base = save_failure(options.failures, programs[program][0], options.seed, index, program, data,
                                        problems)
                    print(f"FAILED {program} case {index}: {problems[0].splitlines()[0]} (saved as {base}.*)",
                          flush=True)
            if time.monotonic() >= next_report + 300:
                next_report = time.monotonic()
                print(f"programs.py: {cases} cases so far, {failures} failed", flush=True)

    print(f"programs.py: seed {options.seed}, {cases} cases, {runs} runs of {sum(map(len, programs.values()))} "
          f"executables in {time.monotonic() - started:.0f} s, {failures} failed")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
