#!/usr/bin/env python3
"""Writes bench/results.md and the plots from what bench/run measured.

Usage: report.py WORK_DIR BENCH_DIR

WORK_DIR holds json/*.json (hyperfine exports, one per measurement, named
as bench/run names them) and facts (key=value lines bench/run wrote: the
machine, the load before each measurement, checks of outputs, peak memory,
instruction counts).  The plots are drawn by the
gnuplot scripts in BENCH_DIR/gnuplot from data files written to
WORK_DIR/data.
"""

import json
import math
import re
import subprocess
import sys
from pathlib import Path

FIB_CALLS_40 = 331_160_281
MEMORY_LIMIT_BYTES = 40_000_000 + 8 * 1024 * 1024
PROGRAMS = [
    "array_compare", "parity_echo", "matrix_product", "selection_sort", "bubble_sort",
    "heap_sort", "quick_sort", "record_sort", "fib_table", "fib_loop", "fib_recursive",
    "factorials", "count_down_up", "complex_product", "number_game",
]
# Where each program's builds were measured side by side; the others ran
# in the rounds of builds-small.
BUILD_RUNS = {"matrix_product": "builds-matrix", "heap_sort": "builds-sorts", "quick_sort": "builds-sorts",
              "record_sort": "builds-record", "fib_table": "builds-fib_table", "fib_loop": "builds-fib_loop",
              "fib_recursive": "fib_recursive", "count_down_up": "builds-count"}
# The programs whose two flavours ran side by side on a large input, each
# in its own hyperfine run flavour-PROGRAM, and that input; the others ran
# on their sample input in the rounds of flavour-small.
FLAVOUR_INPUTS = {
    "quick_sort": "10,000,000 random numbers (`in/random-10000000.in`, 110 MB)",
    "heap_sort": "the same 10,000,000 numbers",
    "count_down_up": "n = 10,000,000: 20,000,001 lines printed",
    "matrix_product": "dimension 512: 524,288 numbers read, 524,288 printed",
    "record_sort": "20,000 items",
    "fib_loop": "n = 2147483647",
    "fib_table": "n = 20,000,000: a table of 80 MB",
    "fib_recursive": "n = 40: 331,160,281 calls",
}
# The programs also written straight against the C library.
DIRECT_PROGRAMS = ["quick_sort", "count_down_up", "matrix_product"]
DIRECT_TARGET = 1.05
# quick_sort_b2 on the crafted input, measured before it finished ranges by
# heap sort: quadratic time.
BEFORE_FALLBACK_200K = "5.7 s, about 200 times random input"
BEFORE_FALLBACK_1M = "185 s (one run, 2026-12-08)"


# --------------------------------------------------------------------------
# Reading the measurements

class Measurements:
    def __init__(self, work):
        self.runs = {path.stem: json.loads(path.read_text())["results"]
                     for path in sorted((work / "json").glob("*.json"))}
        self.facts = {}
        for line in (work / "facts").read_text().splitlines():
            key, _, value = line.partition("=")
            self.facts[key] = value

    def run(self, name):
        return self.runs[name]

    def load(self, name):
        """The load average (1, 5, 15 minutes) before the run `name`."""
        return self.facts.get(f"load_{name}", "unknown")

    def pick(self, name, text):
        """The result of run `name` whose command is `text`, or else the one
        whose command contains it."""
        found = [r for r in self.runs[name] if text == r["command"]]
        found = found or [r for r in self.runs[name] if text in r["command"]]
        if len(found) != 1:
            raise SystemExit(f"report.py: {len(found)} commands of {name} contain {text!r}")
        return found[0]


def sd(result):
    return result["stddev"] or 0.0  # null for a single run


def ratio(result, base):
    """Mean time of `result` over that of `base`, with its spread."""
    r = result["mean"] / base["mean"]
    spread = r * math.hypot(sd(result) / result["mean"], sd(base) / base["mean"])
    return r, spread


# --------------------------------------------------------------------------
# Formatting

def scale_of(seconds):
    for unit, scale in (("s", 1.0), ("ms", 1e-3), ("µs", 1e-6)):
        if seconds >= scale:
            return unit, scale
    return "µs", 1e-6


def fmt_number(value, digits):
    """`value` to `digits` significant digits, never in exponent form."""
    if value >= 10 ** digits:
        return f"{value:.0f}"
    return f"{value:.{digits}g}"


def fmt_time(seconds, spread=None):
    unit, scale = scale_of(seconds)
    text = fmt_number(seconds / scale, 3)
    if spread is not None:
        text += f" ± {fmt_number(spread / scale, 2)}"
    return f"{text} {unit}"


def fmt_ratio(value, spread=None):
    text = f"{value:.0f}" if value >= 1000 else f"{value:#.{3 if value < 100 else 4}g}".rstrip(".")
    return text + (f" ± {fmt_number(spread, 2)}" if spread is not None else "")


def fastest_ratio(result, base):
    """The fastest run of `result` over the fastest of `base`: other work on
    the machine only adds time, so the fastest runs are the least disturbed."""
    return min(result["times"]) / min(base["times"])


def cell(text):
    return text.replace("|", "\\|")


def load_line(m, *names):
    """The load average before the first of the runs `names` and the last."""
    first, last = m.load(names[0]), m.load(names[-1])
    if len(names) == 1 or first == last:
        return f"Load average (1, 5, 15 minutes) before this run: {first}."
    return f"Load average (1, 5, 15 minutes) before the first of these runs: {first}; before the last: {last}."


def table(results, base=None, label="baseline"):
    """Markdown table of hyperfine results, each with its ratio to `base`."""
    columns = ["Command", "Mean ± σ", "Median", "Runs"] + ([f"Time ÷ {cell(label)}'s"] if base else [])
    lines = ["| " + " | ".join(columns) + " |", "|---" * len(columns) + "|"]
    for r in results:
        spread = fmt_time(r["mean"], r["stddev"]) if r["stddev"] is not None else fmt_time(r["mean"]) + " (one run)"
        row = [f"`{cell(r['command'])}`", spread, fmt_time(r["median"]), str(len(r["times"]))]
        if base:
            row.append("1 (baseline)" if r is base else fmt_ratio(*ratio(r, base)))
        lines.append("| " + " | ".join(row) + " |")
    return "\n".join(lines)


class Headlines:
    """The table of headline figures.  A figure given a name is also kept as
    a number, for WORK_DIR/figures (name=value lines)."""

    def __init__(self):
        self.rows = []
        self.named = {}

    def add(self, figure, measured, target="—", met=None, name=None, value=None):
        verdict = "—" if met is None else ("yes" if met else "**no**")
        self.rows.append(f"| {figure} | {measured} | {target} | {verdict} |")
        if name:
            self.named[name] = value

    def speedup(self, figure, slow, fast, at_least, name=None):
        """A target on how many times faster `fast` runs than `slow`."""
        value, spread = ratio(slow, fast)
        self.add(figure, f"{fmt_ratio(value, spread)} ×", f"≥ {at_least} ×", value >= at_least, name, value)
        return value

    def times(self, figure, result, base, at_most=None, name=None):
        """How many times the time of `base` `result` takes, with a target
        of at most `at_most` times, if any."""
        value, spread = ratio(result, base)
        target, met = ("—", None) if at_most is None else (f"≤ {at_most} ×", value <= at_most)
        self.add(figure, f"{fmt_ratio(value, spread)} ×", target, met, name, value)
        return value

    def markdown(self):
        return "\n".join(["| Figure | Measured | Target | Met |", "|---|---|---|---|", *self.rows])

    def figures(self):
        return "".join(f"{name}={value:.6g}\n" for name, value in self.named.items())


# --------------------------------------------------------------------------
# Runs made in rounds

def median(values):
    ordered = sorted(values)
    return (ordered[(len(ordered) - 1) // 2] + ordered[len(ordered) // 2]) / 2


def pooled(results):
    """One hyperfine-like result of the same command over several runs."""
    times = [t for r in results for t in r["times"]]
    mean = sum(times) / len(times)
    spread = math.sqrt(sum((t - mean) ** 2 for t in times) / (len(times) - 1)) if len(times) > 1 else None
    return {"command": results[0]["command"], "mean": mean, "stddev": spread, "median": median(times),
            "times": times}


class Rounds:
    """A measurement made in several hyperfine runs, PREFIX-1 and on (see
    measure_rounds in bench/run): each run gives one ratio of mean times per
    pair of commands, and the median of those ratios stands for the whole."""

    def __init__(self, m, prefix):
        self.names = sorted((name for name in m.runs if re.fullmatch(rf"{prefix}-\d+", name)),
                            key=lambda name: int(name.rsplit("-", 1)[1]))
        runs = [m.run(name) for name in self.names]
        self.count = len(runs)
        self.runs_per_round = len(runs[0][0]["times"])
        self.commands = [r["command"] for r in runs[0]]
        self.results = {c: [next(r for r in run if r["command"] == c) for run in runs] for c in self.commands}

    def pooled(self, command):
        return pooled(self.results[command])

    def ratio(self, command, base):
        """Median, lowest and highest of the rounds' time ratios."""
        ratios = sorted(r["mean"] / b["mean"] for r, b in zip(self.results[command], self.results[base]))
        return median(ratios), ratios[0], ratios[-1]


def runs_text(rounds):
    return "one run" if rounds.runs_per_round == 1 else f"{rounds.runs_per_round} runs"


def fmt_round_ratio(middle, lowest, highest):
    return f"{middle:.3f} ({lowest:.2f} … {highest:.2f})"


ROUNDS_NOTE = """The speed of a shared machine drifts over seconds, by more than the differences measured in runs of
a few milliseconds, and hyperfine makes all the runs of one command before the next.  So such runs are
measured in {count} hyperfine runs of {runs} per command, every other one with the commands in reverse
order; each gives one ratio of mean times, and the tables show the median of those ratios with their range
(lowest … highest), next to the mean and median over all runs."""


# --------------------------------------------------------------------------
# The sections of results.md

def flavours(m, h, data):
    rows = ["| Program | Input | `stdio/…_b2` (C library) | `fast/…_b2` (fast console) | stdio time ÷ fast time "
            "| Fastest run ÷ fastest run | Output |", "|---|---|---|---|---|---|---|"]
    chart = []
    tables = []
    for program, described in FLAVOUR_INPUTS.items():
        name = f"flavour-{program}"
        stdio, fast = m.pick(name, f"stdio/{program}_b2"), m.pick(name, f"fast/{program}_b2")
        value, spread = ratio(stdio, fast)
        same = m.facts[f"same_{program}"]
        fastest = fastest_ratio(stdio, fast)
        h.add(f"`{program}_b2`, {described.split(':')[0].split(' (')[0]}: stdio time ÷ fast time",
              f"{fmt_ratio(value, spread)} × (fastest runs: {fmt_ratio(fastest)}; load {m.load(name).split()[0]})",
              name=f"flavour_{program}", value=value)
        rows.append(f"| {program} | {described} | {fmt_time(stdio['mean'], sd(stdio))} | "
                    f"{fmt_time(fast['mean'], sd(fast))} | {fmt_ratio(value, spread)} | {fmt_ratio(fastest)} "
                    f"| {same} |")
        chart.append(f"\"{program}\" {value:.6g} {spread:.6g}")
        tables.append(f"### {program}\n\n{table(m.run(name), fast, 'fast')}\n\n{load_line(m, name)}")
    small = Rounds(m, "flavour-small")
    small_rows = []
    for command in small.commands:
        found = re.fullmatch(r"base/feed samples/(\w+)\.in stdio/(\w+)", command)
        if not found:
            continue
        program = found.group(1)
        fast_command = command.replace(" stdio/", " fast/")
        figure = small.ratio(command, fast_command)
        stdio, fast = small.pooled(command), small.pooled(fast_command)
        same = m.facts[f"same_{program}"]
        rows.append(f"| {program} | samples/{program}.in | {fmt_time(stdio['mean'], sd(stdio))} | "
                    f"{fmt_time(fast['mean'], sd(fast))} | {fmt_round_ratio(*figure)}, median of "
                    f"{small.count} rounds | {fmt_ratio(fastest_ratio(stdio, fast))} | {same} |")
        small_rows.append(program)
        chart.append(f"\"{program} *\" {figure[0]:.6g} 0")
    different = [k for k, v in m.facts.items() if k.startswith("same_") and v != "identical"]
    h.add("Both flavours print the same bytes, every program on its input here",
          "identical" if not different else "DIFFERENT: " + ", ".join(k[5:] for k in different), "identical",
          not different)
    (data / "flavours.dat").write_text("\n".join(chart) + "\n")
    note = ROUNDS_NOTE.format(count=small.count, runs=runs_text(small))
    joined = "\n\n".join(tables)
    return f"""## The two flavours side by side: the C library's streams against the fast console

Every program's b2 build twice from the same source: `stdio/` is build/bench-stdio/bin, the default build
(`SUITE_CONSOLE=stdio`: `suite::scanf`, `suite::printf`, `suite::puts` and `suite::putchar` are the C
library's calls), and `fast/` is build/bench-fast/bin (`SUITE_CONSOLE=fast`: the same calls go to
`suite::Console` of common/fast_console.hpp).  Each pair ran side by side in one hyperfine run, its input from
a file and its output into /dev/null; next to the ratio of the means stands that of the fastest runs, the
least disturbed by other work on the machine; the column Output says whether the two printed the same bytes for that
input (compared with `cmp` before the timed runs).  The programs with a small fixed capacity ran on their
sample input, without a shell (`base/feed`, marked * in the plot): their runs are start-up.  Where reading
and printing are a small part of the run (record_sort, the Fibonacci programs, the small ones), the two
builds run the same algorithm from code the compiler placed and inlined differently, so a ratio away from 1
there says more about code placement and the machine's drift than about the console.

{chr(10).join(rows)}

{note}  {load_line(m, *small.names)}

{joined}
"""


def direct(m, h):
    rows = ["| Program | Input | `stdio/…_b2` | `base/…_direct` | b2 time ÷ direct time "
            "| Fastest run ÷ fastest run | Output |", "|---|---|---|---|---|---|---|"]
    counts = ["| Program | Input | Instructions of `stdio/…_b2` | of `base/…_direct` | b2 ÷ direct | Output |",
              "|---|---|---|---|---|---|"]
    tables = []
    for program in DIRECT_PROGRAMS:
        name = f"direct-{program}"
        b2, plain = m.pick(name, f"stdio/{program}_b2"), m.pick(name, f"base/{program}_direct")
        value, spread = ratio(b2, plain)
        data_input = re.search(r"in/([\w-]+)\.in", b2["command"]).group(1)
        same = m.facts[f"direct_same_{program}_{data_input}"]
        fastest = fastest_ratio(b2, plain)
        h.add(f"`{program}_b2` (default build) time ÷ the same program calling the C library directly "
              f"(`in/{data_input}.in`, one hyperfine run)",
              f"{fmt_ratio(value, spread)} × (fastest runs: {fmt_ratio(fastest)}; load {m.load(name).split()[0]})",
              f"≤ {DIRECT_TARGET} ×", value <= DIRECT_TARGET, f"direct_time_{program}", value)
        rows.append(f"| {program} | `in/{data_input}.in` | {fmt_time(b2['mean'], sd(b2))} | "
                    f"{fmt_time(plain['mean'], sd(plain))} | {fmt_ratio(value, spread)} | {fmt_ratio(fastest)} "
                    f"| {same} |")
        tables.append(f"### {program}\n\n{table(m.run(name), plain, 'direct')}\n\n{load_line(m, name)}")
        counted = m.facts[f"counted_input_{program}"]
        ours, theirs = (int(m.facts[f"instructions_{program}_{kind}"]) for kind in ("b2", "direct"))
        counted_same = m.facts[f"direct_same_{program}_{Path(counted).stem}"]
        h.add(f"`{program}_b2` instructions ÷ the direct program's (callgrind, `{counted}`)",
              f"{ours / theirs:.4f} × ({ours - theirs:+,} instructions)", f"≤ {DIRECT_TARGET} ×",
              ours / theirs <= DIRECT_TARGET, f"direct_instructions_{program}", ours / theirs)
        counts.append(f"| {program} | `{counted}` | {ours:,} | {theirs:,} | {ours / theirs:.4f} "
                      f"({ours - theirs:+,}) | {counted_same} |")
    f = m.facts
    joined = "\n\n".join(tables)
    return f"""## The shared header against the C library called directly

`base/quick_sort_direct`, `base/count_down_up_direct` and `base/matrix_product_direct` (bench/src/*_direct.cpp)
are quick_sort, count_down_up and matrix_product written straight against `<cstdio>`, without common/suite.hpp:
every number read with `scanf("%lli")` into a `long long` that keeps its low 32 bits, the same routines and
loops (the wrap-around of matrix_product in unsigned arithmetic), the output with `printf`, `puts` and
`putchar` where the program calls them.  They are built with the very flags of the default build's b2, read
from build/bench-stdio/build.ninja: {f['direct_flags_quick_sort']} (the same for the other two).  What
the header adds around each call: a check whether output must go out before a read, a flag that makes every
number after a failed read 0, the low 32 bits taken from the `long long`, and the checks of the output at the
end.  The column Output says whether the two printed the same bytes (`cmp`).

Times, each pair side by side in one hyperfine run without a shell (`base/feed`).  The ratio of the means
carries the spread of both; the ratio of the fastest runs is the one least disturbed by other work, which
only ever adds time:

{chr(10).join(rows)}

Instructions, counted by callgrind ({f['valgrind']}) in the whole run of each, start-up and the C library
included, on smaller inputs; unlike the times they do not depend on the load of the machine (it was
{f['load_callgrind']} when they were counted):

{chr(10).join(counts)}

{joined}
"""


def throughput_rows(results, size):
    rows = ["| Command | Throughput |", "|---|---|"]
    rows += [f"| `{cell(r['command'])}` | {size / r['mean'] / 1e6:,.0f} MB/s |" for r in results]
    return "\n".join(rows)


def reading(m, h):
    run = m.run("reader")
    console, floor, scanf = (m.pick("reader", name) for name in ("read_console", "read_floor", "read_scanf"))
    size = int(m.facts["read_bytes"])
    value = h.times("Reading 10,000,000 numbers: `Console::read_int` time ÷ the floor's (64 KiB `read`s, `memchr`)",
                    console, floor, 2, "read_console_over_floor")
    h.speedup("Reading 10,000,000 numbers: `scanf(\"%i\")` time ÷ `Console::read_int` time", scanf, console, 4,
              "read_scanf_over_console")
    return f"""## Reading numbers against the floor and the C library

The readers take `in/random-10000000.in` ({size:,} bytes: the count and 10,000,000 random 32-bit numbers, one
per line) on standard input.  `base/read_console` reads them with `suite::Console::read_int` (a `suite::Console io;`
of common/fast_console.hpp) and `base/read_scanf` with `scanf("%i")`, and both print the wrapped sum (they
printed {m.facts['reader_sums']}).  The floor, `base/read_floor`, does what any reader must: it `read`s the
file in 64 KiB blocks, the size of Console's input buffer, so the kernel copies every byte from the page cache
into the buffer, and looks at every byte once, counting the line breaks with `memchr` (it counted
{int(m.facts['read_floor_lines']):,}).  All three are built from bench/src with the same compiler and flags
({m.facts['baseline_flags_O2']}).

{table(run, floor, "the floor")}

{load_line(m, "reader")}

{throughput_rows(run, size)}

`Console::read_int` takes {fmt_ratio(*ratio(console, floor))} times the floor's time (target: at most 2,
{"met" if value <= 2 else "missed"}); `scanf` takes {fmt_ratio(*ratio(scanf, console))} times
`Console::read_int`'s (target: at least 4).
"""


def printing(m, h):
    run = m.run("writer")
    console, printf, fmt_lib = (m.pick("writer", name) for name in ("write_console", "write_printf", "write_fmt"))
    copying = m.pick("writer", " copy > /dev/null")
    plain = m.pick("writer", "printed-10000000.txt > /dev/null")
    size = int(m.facts["print_bytes"])
    f = m.facts
    value = h.times("Printing 10,000,000 numbers: `Console::print` time ÷ the copying floor's (each 64 KiB piece "
                    "copied from the mapped file into one buffer, then written)", console, copying, 4,
                    "print_console_over_copying_floor")
    h.times("Printing 10,000,000 numbers: `Console::print` time ÷ the plain floor's (the mapped file written "
            "into /dev/null; its bytes are never read)", console, plain, None, "print_console_over_plain_floor")
    h.speedup("Printing 10,000,000 numbers: `printf(\"%i\\n\")` time ÷ `Console::print` time", printf, console, 4,
              "print_printf_over_console")
    h.times("Printing 10,000,000 numbers: `fmt::format_int` time ÷ `Console::print` time", fmt_lib, console, None,
            "print_fmt_over_console")
    identical = f["writer_outputs"].startswith("identical")
    h.add("Printing: every printer's output and both floors' byte for byte the same", f["writer_outputs"],
          "identical", identical)
    return f"""## Printing numbers against the floors, the C library and fmt

The printers print the 10,000,000 numbers i × 0x9E3779B1 (wrapped to 32 bits) for i = 0 to 9,999,999, of
every width from 1 to 11 characters, one per line: {size:,} bytes, into /dev/null.  `base/write_console` prints
them with `Console::print("%i\\n", …)`, `base/write_printf` with `printf("%i\\n")`, and `base/write_fmt` with
`fmt::format_int` of the fmt library (Debian's libfmt-dev {f['fmt']}, used header-only), each number with its
line break copied into one 64 KiB buffer that goes out with `write` whenever the next number might not fit,
as Console does.  All are built from bench/src with {f['baseline_flags_O2']}.  Before the timed runs every
output was compared with write_console's with `cmp`: {f['writer_outputs']}.

The floors write the same bytes already formatted: `in/printed-10000000.txt` is write_console's output,
made once beforehand, and `base/write_floor FILE` maps it and writes it in 64 KiB pieces, the size of
Console's output buffer.  A `write` into /dev/null returns at once without reading a byte, and nothing else
touches the mapping, so this plain floor measures the start-up, the mapping and {-(-size // 65536):,} system
calls, and moves no bytes at all: one run of it had {int(f['minor_faults_write_floor']):,} minor page faults
and a peak memory of {int(f['maxrss_write_floor']):,} KiB, for a file of {size // 1024:,} KiB.  So a second
floor, `base/write_floor FILE copy`, copies each piece into one 64 KiB buffer and writes it from there: every
byte is read once from memory and stored once into a buffer that stays in the cache
({int(f['minor_faults_write_floor_copy']):,} minor page faults and {int(f['maxrss_write_floor_copy']):,} KiB;
its mapping is filled at once with `MAP_POPULATE`).  The target applies to this copying floor.  A printer
stores the same bytes but computes them instead of reading them from memory, so a fast enough printer can
beat it: a ratio below 1.  `Console::print`: one run had {int(f['minor_faults_write_console']):,} minor page
faults and {int(f['maxrss_write_console']):,} KiB.

{table(run, copying, "the copying floor")}

{load_line(m, "writer")}

{throughput_rows(run, size)}

`Console::print` takes {fmt_ratio(*ratio(console, copying))} times the copying floor's time (target: at most 4,
{"met" if value <= 4 else "missed"}) and {fmt_ratio(*ratio(console, plain))} times the plain floor's;
`printf` takes {fmt_ratio(*ratio(printf, console))} times `Console::print`'s (target: at least 4), and
`fmt::format_int` {fmt_ratio(*ratio(fmt_lib, console))} times.
"""


def startup(m, h):
    rounds = Rounds(m, "startup")
    hello, fed_hello = "base/hello", "base/feed samples/array_compare.in base/hello"
    lines = ["| Command | Mean ± σ, all runs | Median | Runs | Time ÷ hello's: median of the rounds (range) |",
             "|---|---|---|---|---|"]
    for command in rounds.commands:
        base = fed_hello if command.startswith("base/feed") else hello
        whole = rounds.pooled(command)
        figure = rounds.ratio(command, base)
        shown = "1 (baseline)" if command == base else fmt_round_ratio(*figure)
        lines.append(f"| `{cell(command)}` | {fmt_time(whole['mean'], sd(whole))} | {fmt_time(whole['median'])} "
                     f"| {len(whole['times'])} | {shown} |")
        if command != base:
            how = "samples/array_compare.in through `feed`" if base == fed_hello else "empty input"
            program = re.search(r"(stdio|fast)/(\w+)", command).group(0)
            h.add(f"Start-up: `{program}` ({how}) ÷ plain C program, median of {rounds.count} rounds",
                  fmt_round_ratio(*figure), "≤ 1.15", figure[0] <= 1.15)
    note = ROUNDS_NOTE.format(count=rounds.count, runs=runs_text(rounds))
    return f"""## Start-up

Whole runs of tiny dialogues against `base/hello` (a C program that prints one line, `gcc -O2`, dynamically
linked), with `hyperfine -N` (no shell): the default build's programs, and the fast build's array_compare.
Without a shell the programs read an empty standard input, so they run their whole dialogue on no numbers.
To give one a real input, `base/feed FILE PROGRAM` (a static C launcher) opens FILE as standard input and
executes PROGRAM; it adds one `execve` to each run, so its rows are compared with `hello` started the same way.

{note}  {load_line(m, *rounds.names)}

{chr(10).join(lines)}
"""


def sorting(m, h):
    rounds = Rounds(m, "sort-memory")
    names = {"quick_sort": ("fast/quick_sort_b2", "base/quick_sort_in_memory 10000000 1"),
             "heap_sort": ("fast/heap_sort_b2", "base/heap_sort_in_memory 10000000 1")}
    making = rounds.pooled("base/quick_sort_in_memory 10000000 1 unsorted")
    targets = {"quick_sort": 1.15, "heap_sort": 1.1}
    rows = ["| Program | Whole run | Its sort in memory | Whole run ÷ in memory: median of the rounds (range) "
            "| Target | Difference |", "|---|---|---|---|---|---|"]
    for program, (whole_text, alone_text) in names.items():
        whole_command = next(c for c in rounds.commands if c.endswith(whole_text))
        whole, alone = rounds.pooled(whole_command), rounds.pooled(alone_text)
        figure = rounds.ratio(whole_command, alone_text)
        met = figure[0] <= targets[program]
        h.add(f"`{program}_b2` with the fast console, 10,000,000 numbers: whole run (input file in, /dev/null "
              f"out) time ÷ its own sort in memory, median of {rounds.count} rounds",
              f"{fmt_round_ratio(*figure)} ×", f"≤ {targets[program]} ×", met, f"{program}_over_in_memory",
              figure[0])
        rows.append(f"| `fast/{program}_b2` | {fmt_time(whole['mean'], sd(whole))} "
                    f"| {fmt_time(alone['mean'], sd(alone))} | {fmt_round_ratio(*figure)} "
                    f"| ≤ {targets[program]} ({'met' if met else 'missed'}) "
                    f"| {fmt_time(whole['mean'] - alone['mean'])} |")
    memory_rows = []
    for program in ("quick_sort", "heap_sort"):
        for flavour in ("stdio", "fast"):
            key = f"{program}_b2_{flavour}"
            kib, faults = int(m.facts[f"maxrss_{key}"]), int(m.facts[f"minor_faults_{key}"])
            h.add(f"Peak memory and minor page faults of `{flavour}/{program}_b2` at 10,000,000 numbers",
                  f"{kib:,} KiB ({kib * 1024 / 1e6:.1f} MB), {faults:,} faults",
                  f"≤ 40 MB + 8 MiB ({MEMORY_LIMIT_BYTES // 1024:,} KiB)", kib * 1024 <= MEMORY_LIMIT_BYTES)
            memory_rows.append(f"| `{flavour}/{program}_b2` | {kib:,} KiB | {kib * 1024 / 1e6:.1f} MB | {faults:,} |")
    for program in ("quick_sort_in_memory", "heap_sort_in_memory"):
        kib, faults = int(m.facts[f"maxrss_{program}"]), int(m.facts[f"minor_faults_{program}"])
        memory_rows.append(f"| `base/{program}` | {kib:,} KiB | {kib * 1024 / 1e6:.1f} MB | {faults:,} |")
    memory = "\n".join(["| Program | Maximum resident set size | in MB | Minor page faults |", "|---|---|---|---|",
                        *memory_rows])
    run = [rounds.pooled(c) for c in rounds.commands]
    note = ROUNDS_NOTE.format(count=rounds.count, runs=runs_text(rounds))
    f = m.facts
    return f"""## Sorting 10,000,000 numbers: memory, and the sorts alone

`in/random-10000000.in` holds the count and 10,000,000 random 32-bit numbers from the seeded generator
(bench/src/make_input.cpp).  Outputs checked outside the timed runs: {f['sort_check']}.

Peak memory and minor page faults, from one run of each under `/usr/bin/time -v` (the numbers alone take
40,000,000 bytes, 9,766 pages of 4 KiB):

{memory}

### quick_sort and heap_sort against their own sort in memory

`base/quick_sort_in_memory 10000000 1` and `base/heap_sort_in_memory 10000000 1` make the same 10,000,000
numbers in memory, with the generator of bench/src/make_input.cpp (bench/src/splitmix64.hpp) and the same seed,
in one block from `malloc` taken after the console, as the program takes it, and sort them with the program's
own routine: bench/src/sort_in_memory.cpp compiles the program's source file (sorting/quick_sort.cpp,
sorting/heap_sort.cpp) into itself with its `main` renamed, and calls the routine as that `main` does.  They
read nothing and print only a checksum that depends on the order of the numbers (they printed
{f['in_memory_checksums']}), so the sort cannot be left out.  They are built with the flags of the fast build's
b2: {f['in_memory_flags_quick_sort']} and {f['in_memory_flags_heap_sort']}.  Checked once outside the timed
runs, with their sorted numbers printed: {f['in_memory_check']}.  With `unsorted` the sort is skipped, which
leaves what the in-memory run spends on making the numbers and the checksum:
{fmt_time(making['mean'], sd(making))}.  The whole runs get their input through `base/feed`, without a shell.

{note}  {load_line(m, *rounds.names)}

{table(run)}

{chr(10).join(rows)}

The difference is what the whole run spends on reading its input and printing the sorted numbers, less
the making of the numbers in memory.
"""


def killer(m, h):
    crafted = m.pick("killer-vs-random", "in/killer-200000.in")
    random = m.pick("killer-vs-random", "in/random-200000.in")
    value, spread = ratio(crafted, random)
    sorted_200k = m.facts["killer200k_check"].startswith("sorted")
    h.add("`fast/quick_sort_b2`, 200,000 numbers crafted against the middle pivot: its time ÷ random input's",
          f"{fmt_ratio(value, spread)} × ({fmt_time(crafted['mean'])} against {fmt_time(random['mean'])}), "
          f"{m.facts['killer200k_check']}; before the fallback to heap sort: {BEFORE_FALLBACK_200K}",
          "≤ 5 ×", value <= 5 and sorted_200k)
    run = m.run("killer")
    codes = sorted({code for r in run for code in r.get("exit_codes", [0])})
    ok = codes == [0] and m.facts["killer_check"].startswith("sorted")
    times = ", ".join(f"{re.search(r'(stdio|fast)/', r['command']).group(1)} {fmt_time(r['mean'], sd(r))}"
                      for r in run)
    h.add("`quick_sort_b2` of both flavours on 1,000,000 numbers crafted against the middle pivot, stack "
          "limited to 1 MiB", f"{times}, exit status {', '.join(map(str, codes))}, {m.facts['killer_check']}",
          "finishes with status 0 and sorted output", ok)
    sweep = m.pick("sweep-sorts", "in/random-1000000.in fast/quick_sort_b2")
    fast_run = next(r for r in run if "fast/" in r["command"])
    return f"""## Quick sort on input crafted against the middle element's pivot

`in/killer-200000.in` and `in/killer-1000000.in` are permutations of 0 to n − 1 built by the generator so
that every partition of quick_sort finds the smallest remaining value in the middle of its range: each round
would split off one element and scan the whole rest, about n²/2 comparisons in all.  The generator replays
the first partitions on its input and stops unless each one splits off a single element; for 1,000,000
numbers it reported:

> {m.facts['killer_generator']}

quick_sort counts the uneven splits above each range (a smaller part under a sixteenth of a range of more
than 32 elements) and finishes a range by heap sort once 62 of them are used up.

Side by side with random numbers of the same count (`hyperfine -N`, the input given by `base/feed`, the fast
build); the crafted run's output, checked outside the timed runs: {m.facts['killer200k_check']}.

{table(m.run("killer-vs-random"), random, "random input")}

{load_line(m, "killer-vs-random")}

The crafted input takes {fmt_ratio(value, spread)} times as long as random input (target: at most 5).
Before quick_sort fell back to heap sort, the 200,000 crafted numbers took {BEFORE_FALLBACK_200K}, and the
1,000,000 of the next table {BEFORE_FALLBACK_1M}: the quadratic worst case of the middle pivot.

At 1,000,000 numbers both flavours run under `ulimit -s 1024` (a 1 MiB stack); the output went to a file and
was checked afterwards: {m.facts['killer_check']}.  Exit statuses: {', '.join(map(str, codes))}.

{table(run)}

{load_line(m, "killer")}

For comparison, `fast/quick_sort_b2` on 1,000,000 random numbers (from the size sweep below) takes
{fmt_time(sweep['mean'])}: the crafted input costs {fast_run['mean'] / sweep['mean']:,.2f} times as much with the
fast console (it includes a shell and the write to a file), while the stack stays bounded: the right part of
each partition is sorted by a nested call, and the fallback caps how many uneven splits can nest.
"""


def fib_loop(m, h):
    name = "flavour-fib_loop"
    b2 = m.pick(name, "fast/fib_loop_b2")
    steps = 2147483647
    per_step = b2["mean"] / steps
    mhz = float(m.facts["cpu_mhz"] or 0)
    cycles = f", {per_step * mhz * 1e6:.2f} cycles per step at the nominal {mhz:.0f} MHz" if mhz else ""
    h.add("`fast/fib_loop_b2`, n = 2147483647", f"{fmt_time(b2['mean'], sd(b2))}, median {fmt_time(b2['median'])} "
          f"({per_step * 1e9:.3f} ns per step)")
    return f"""## fib_loop with n = 2147483647

The output line: `{m.facts['fib_loop_output']}`.  The loop makes 2,147,483,647 steps, each one wrap-around
addition that depends on the one before, so one add per step (one cycle) is the floor; `fast/fib_loop_b2`
takes {per_step * 1e9:.3f} ns per step{cycles} (the processor's clock under load may be above its nominal
frequency).  The run of both flavours:

{table(m.run(name))}

{load_line(m, name)}
"""


def fib_recursive(m, h):
    run = m.run("fib_recursive")
    b0 = m.pick("fib_recursive", "fib_recursive_b0")
    rows = ["| Build | Time per call | Time ÷ b0 |", "|---|---|---|"]
    for r in run:
        build = re.search(r"_b(\d)", r["command"]).group(1)
        value, spread = ratio(r, b0)
        per_call = r["mean"] / FIB_CALLS_40
        shown = "b0 itself" if r is b0 else fmt_ratio(value, spread)
        rows.append(f"| b{build} | {per_call * 1e9:.3f} ns | {shown} |")
        h.add(f"`fast/fib_recursive_b{build}`, n = 40: time per call, and time ÷ b0's",
              f"{per_call * 1e9:.3f} ns, {shown}")
    largest = m.run("fib_recursive_max")[0]
    h.add("`stdio/fib_recursive_b0`, n = 2147483647", f"{fmt_time(largest['mean'], sd(largest))}, median "
          f"{fmt_time(largest['median'])} ({len(largest['times'])} runs)", name="fib_recursive_b0_max_seconds",
          value=largest["mean"])
    return f"""## fib_recursive with n = 40

F(40) takes 331,160,281 calls (the output line: `{m.facts['fib_recursive_output']}`); the time per call is the
whole run's time over that count (start-up included, a few milliseconds).  The fast build's b0, b1 and b2.

{table(run, b0, "b0")}

{load_line(m, "fib_recursive")}

{chr(10).join(rows)}

### The largest n, unoptimised

`stdio/fib_recursive_b0` with n = 2147483647, the largest 32-bit number, in {len(largest['times'])} runs; the
output went to a file, and was `{m.facts['fib_recursive_max_output']}`.

{table(m.run("fib_recursive_max"))}
"""


def builds(m, h, data):
    small = Rounds(m, "builds-small")
    lines = ["| Program | Command | Mean ± σ | Time ÷ b0's |", "|---|---|---|---|"]
    chart = ["program b0 b1 b2 b3"]
    loads = []
    for program in PROGRAMS:
        pattern = re.compile(rf"fast/{program}_b(\d)\b")
        name = BUILD_RUNS.get(program)
        results = m.run(name) if name else [small.pooled(c) for c in small.commands]
        if name and f"{name} {m.load(name).split()[0]}" not in loads:
            loads.append(f"{name} {m.load(name).split()[0]}")
        found = sorted((int(pattern.search(r["command"]).group(1)), r) for r in results if pattern.search(r["command"]))
        b0 = found[0][1]
        relative = ["-"] * 4
        for build, r in found:
            if name:
                value, spread = ratio(r, b0)
                shown = fmt_ratio(value, spread)
            else:
                value, lowest, highest = small.ratio(r["command"], b0["command"])
                shown = f"{fmt_round_ratio(value, lowest, highest)}, median of {small.count} rounds"
            relative[build] = f"{value:.4f}"
            lines.append(f"| {program} | `{cell(r['command'])}` | {fmt_time(r['mean'], sd(r))} "
                         f"| {'1 (baseline)' if r is b0 else shown} |")
        chart.append(f"\"{program}{'' if name else ' *'}\" {' '.join(relative)}")
    (data / "builds.dat").write_text("\n".join(chart) + "\n")
    note = ROUNDS_NOTE.format(count=small.count, runs=runs_text(small))
    return f"""## Every program's builds side by side

The fast build (`fast/`), whose reading and printing take little of a run, so that the builds' differences
show.  One input per program: the sorting, sequence and matrix programs on inputs large enough for their
work to dominate (quick_sort and heap_sort 1,000,000 numbers, matrix_product dimension 512, record_sort
20,000 items, count_down_up n = 10,000,000, fib_table n = 20,000,000, fib_loop n = 500,000,000,
fib_recursive n = 40), the programs with a fixed small capacity on their sample input from samples/ (given
through `base/feed` with `hyperfine -N`, so their times are start-up times; marked * in the plot).  b0 is
the unoptimised build where the program has one, otherwise `-O1` (see CMakeLists.txt for each build's level).

{note}  {load_line(m, *small.names)}  Load average (1 minute) before the other runs: {', '.join(loads)}.

{chr(10).join(lines)}
"""


# --------------------------------------------------------------------------
# Plots

def write_series(path, rows):
    path.write_text("".join(" ".join(f"{v:.9g}" for v in row) + "\n" for row in rows))


def sweep_points(m, runs, program):
    pattern = re.compile(rf"fast/{program} < in/\w+-(\d+)\.in|in/\w+-(\d+)\.in fast/{program}$")
    points = {}
    for name in runs:
        for r in m.run(name):
            found = pattern.search(r["command"])
            if found:
                points[int(found.group(1) or found.group(2))] = (r["mean"], sd(r))
    return sorted((n, mean, spread) for n, (mean, spread) in points.items())


# What each bar of the reading and printing plot shows: the command picked
# from its run, its label and its kind (the colour).
READ_PRINT_BARS = [
    ("reader", "read_console", "Console::read_int", "suite"),
    ("reader", "read_floor", "floor: read + memchr", "floor"),
    ("reader", "read_scanf", "scanf", "C library"),
    ("writer", "write_console", "Console::print", "suite"),
    ("writer", "printed-10000000.txt > /dev/null", "floor: mapped file, write", "floor"),
    ("writer", " copy > /dev/null", "floor: mapped file, copy, write", "floor"),
    ("writer", "write_fmt", "fmt::format_int", "fmt"),
    ("writer", "write_printf", "printf", "C library"),
]
BAR_COLOURS = {"suite": 0x4477AA, "floor": 0x999999, "C library": 0xCC6677, "fmt": 0x228833}


def write_read_print(m, data):
    """read_print.dat: position, MB/s, colour and label of each bar, the
    readers first, a gap, then the printers."""
    sizes = {"reader": int(m.facts["read_bytes"]), "writer": int(m.facts["print_bytes"])}
    lines = []
    for index, (run, text, label, kind) in enumerate(READ_PRINT_BARS):
        position = index + (1 if run == "writer" else 0)
        rate = sizes[run] / m.pick(run, text)["mean"] / 1e6
        lines.append(f"{position} {rate:.1f} {BAR_COLOURS[kind]} \"{label}\" \"{kind}\"")
    (data / "read_print.dat").write_text("\n".join(lines) + "\n")


def plots(m, work, bench, h):
    data = work / "data"
    quick = sweep_points(m, ["sweep-sorts", "flavour-quick_sort"], "quick_sort_b2")
    heap = sweep_points(m, ["sweep-sorts", "flavour-heap_sort"], "heap_sort_b2")
    record = sweep_points(m, ["sweep-record"], "record_sort_b2")
    for name, points in (("quick", quick), ("heap", heap), ("record", record)):
        write_series(data / f"sort-{name}.dat", points)
    n_top, t_top, _ = quick[-1]
    r_top, tr_top, _ = record[-1]
    sorts = {"nlogn": t_top / (n_top * math.log2(n_top)), "square": tr_top / r_top ** 2}

    fib = sweep_points(m, ["sweep-fib"], "fib_recursive_b2")
    # The three smallest n make at most 57,313 calls, some microseconds: their
    # time is the start-up.  Less than a tenth of it above is no signal.
    base = sum(t for _, t, _ in fib[:3]) / 3
    compute = [(n, t - base) for n, t, _ in fib if t - base > 0.1 * base]
    write_series(data / "fib.dat", [(n, t, s, t - base if t - base > 0.1 * base else -1) for n, t, s in fib])
    fitted = [(n, math.log(t)) for n, t in compute if t >= 0.002]
    mean_n = sum(n for n, _ in fitted) / len(fitted)
    mean_y = sum(y for _, y in fitted) / len(fitted)
    slope = (sum((n - mean_n) * (y - mean_y) for n, y in fitted) / sum((n - mean_n) ** 2 for n, _ in fitted))
    intercept = mean_y - slope * mean_n
    factor = math.exp(slope)
    h.add(f"`fast/fib_recursive_b2`: growth of the time per unit of n (fit over n = {fitted[0][0]}..{fitted[-1][0]})",
          f"× {factor:.3f}", "about 1.618", abs(factor - 1.618) < 0.05)

    write_read_print(m, data)

    terminal = m.facts["gnuplot_terminal"]
    out = bench / "plots"
    out.mkdir(exist_ok=True)
    settings = {
        "sorts": {**sorts},
        "fib_recursive": {"fit_a": intercept, "fit_b": slope, "fit_from": fitted[0][0],
                          "fit_title": f"'fit over n = {fitted[0][0]}..{fitted[-1][0]}: × {factor:.3f} per step'"},
        "flavours": {},
        "read_print": {},
        "builds": {},
    }
    for plot, variables in settings.items():
        assignments = "".join(f"{k}={v}; " for k, v in variables.items())
        setup = (f"set terminal {terminal} size 1000,640 font ',11'; set output '{out / (plot + '.png')}'; "
                 f"data='{data}'; {assignments}")
        subprocess.run(["gnuplot", "-e", setup, str(bench / "gnuplot" / f"{plot}.gp")], check=True)
    return settings


# --------------------------------------------------------------------------

def main():
    work, bench = Path(sys.argv[1]), Path(sys.argv[2])
    data = work / "data"
    data.mkdir(exist_ok=True)
    m = Measurements(work)
    h = Headlines()
    sections = [flavours(m, h, data), direct(m, h), reading(m, h), printing(m, h), startup(m, h), sorting(m, h),
                killer(m, h), fib_loop(m, h), fib_recursive(m, h), builds(m, h, data)]
    plots(m, work, bench, h)
    f = m.facts
    header = f"""# Benchmark results

Measured {f['date']} by `bench/run`{' in full mode (BENCH_FULL=1)' if f['full'] == '1' else ''}, which took
{f['elapsed']} in all, on the sources of commit {f['commit']}.

- Machine: {f['nproc']} processors, {f['cpu']}, {f['memory']} of memory; {f['kernel']}
- Load average (1, 5, 15 minutes): {f['load']}; each table below gives the load before its runs.  Other work
  on the machine during the run slows the measurements and widens their spread; the instruction counts do not
  depend on it.
- Compiler: {f['compiler']}; {f['libc']}; hyperfine {f['hyperfine']}; {f['valgrind']}; gnuplot {f['gnuplot']}
- Programs: `stdio` is build/bench-stdio/bin (the default, `SUITE_CONSOLE=stdio`), `fast` is
  build/bench-fast/bin (`SUITE_CONSOLE=fast`), both configured by bench/run with `-DSUITE_TESTS=OFF`.
  Commands run in build/bench, where `base` holds the baselines built from bench/src and `in` the generated
  inputs.

Every time is a whole process, measured with hyperfine: the mean ± standard deviation over the runs.  A
ratio is a quotient of two mean times measured side by side in the same hyperfine run; its spread comes
from the two standard deviations.  In the tables the ratio is the command's time over the baseline's, so
below 1 is faster; the headline figures state each ratio in the direction of its target.

## Headline figures

{h.markdown()}

Plots: [the two flavours](plots/flavours.png), [sorting times](plots/sorts.png),
[fib_recursive](plots/fib_recursive.png), [builds side by side](plots/builds.png),
[reading and printing throughput](plots/read_print.png).  The named figures are also written to
build/bench/figures, one `name=value` line each.
"""
    plots_section = """## Plots

Each program's default build (the C library's streams) against its build with the fast console: the time
of the first over the second's, on a logarithmic scale (* sample input: the whole run is start-up).

![The two flavours side by side](plots/flavours.png)

Sorting time against the count of numbers, the fast build: the points at 10⁷ are those of the flavour
comparison (run through a shell), the others come from a sweep without a shell, the input given by
`base/feed`.  Below about 10⁴ numbers a run is mostly start-up.

![Sorting time against input size](plots/sorts.png)

![fib_recursive time against n](plots/fib_recursive.png)

Reading and printing throughput: bytes of input read, or of output printed, per second of the whole run, on
a logarithmic scale (the plain floor of printing reads no bytes and is far off the others).

![Reading and printing throughput](plots/read_print.png)

![Each program's builds](plots/builds.png)
"""
    (bench / "results.md").write_text("\n".join([header, *sections, plots_section]))
    (work / "figures").write_text(h.figures())


if __name__ == "__main__":
    main()
