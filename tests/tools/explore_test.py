#!/usr/bin/python3
"""tools/explore end to end on small folders built here (selection_sort,
fib_recursive and array_compare by g++, by clang++ and for aarch64): its
attribution of every instruction against llvm-addr2line, the shapes of
--json and --text, the counts callgrind gives a line, the site of two
folders, and each kind of bad input met with one line and the rest of the
site still written."""

import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
EXPLORE = os.path.join(ROOT, "tools", "explore")
sys.path.insert(0, os.path.join(ROOT, "tools"))

try:
    import capstone  # noqa: F401
    import pygments  # noqa: F401
    from engine import build as builder
except ImportError as missing:
    print(f"tools/explore needs python3-capstone and python3-pygments: {missing}")
    sys.exit(77)

PROGRAMS = ["selection_sort", "fib_recursive", "array_compare"]
# The cells the tests build: (name, compiler, target, with the compiler's remarks).
CELLS = [("gcc", "g++", None, True), ("clang", "clang++", None, False), ("aarch64", "g++", "aarch64-linux-gnu", False)]
ADDR2LINE = shutil.which("llvm-addr2line-16") or shutil.which("llvm-addr2line")
VALGRIND = shutil.which("valgrind")
FIELDS = ["address", "size", "text", "function", "file", "line", "inlined"]
WORK = None
FOLDERS = {}


def setUpModule():
    global WORK
    WORK = tempfile.mkdtemp(prefix="explore-test-")
    for name, cxx, target, remarks in CELLS:
        folder = os.path.join(WORK, name)
        try:
            built = builder.build(folder, cxx=cxx, target=target, programs=PROGRAMS, remarks=remarks)
        except builder.BuildError as error:
            print(f"cell {name} not built: {error}", file=sys.stderr)
            continue
        failed = [b.executable for b in built if not b.ok]
        if failed:
            raise RuntimeError(f"cell {name}: {failed} not built: {built[0].log[-400:]}")
        FOLDERS[name] = folder


def tearDownModule():
    shutil.rmtree(WORK, ignore_errors=True)


def explore(*args, cwd=None):
    return subprocess.run([sys.executable, EXPLORE, *args], capture_output=True, text=True, cwd=cwd)


def records(path):
    done = explore("--json", path)
    if done.returncode != 0:
        raise AssertionError(f"--json {path}: {done.stderr}")
    return [json.loads(line) for line in done.stdout.splitlines()]


def page_data(path):
    """The JSON a page carries."""
    with open(path, encoding="utf-8") as f:
        text = f.read()
    blob = re.search(r'<script type="application/json" id="data">(.*?)</script>', text, re.S).group(1)
    return json.loads(blob.replace("<\\/", "</"))


def folder(name):
    if name not in FOLDERS:
        raise unittest.SkipTest(f"no {name} cell here (its compiler is missing)")
    return FOLDERS[name]


def addr2line_frames(executable, addresses):
    """{address: [(function, "file:line")]} by llvm-addr2line, innermost first."""
    done = subprocess.run([ADDR2LINE, "-a", "-f", "-i", "-C", "-e", executable], input="\n".join(addresses) + "\n",
                          capture_output=True, text=True, check=True)
    frames, current = {}, None
    lines = done.stdout.splitlines()
    k = 0
    while k < len(lines):
        if re.fullmatch(r"0x[0-9a-f]+", lines[k]):
            current = hex(int(lines[k], 16))
            frames[current] = []
            k += 1
            continue
        name, place = lines[k], lines[k + 1]
        file, _, line = place.rpartition(":")
        while file.startswith("./"):
            file = file[2:]
        frames[current].append((name, f"{file}:{line.split(' ')[0]}"))
        k += 2
    return frames


class Attribution(unittest.TestCase):
    """--json's file, line and chain of every instruction against
    llvm-addr2line -f -i, which reads the .debug file by the debug link."""

    def test_every_instruction_agrees_with_llvm_addr2line(self):
        if ADDR2LINE is None:
            self.skipTest("llvm-addr2line (Debian: llvm-16) is missing")
        # (cell, executable, the fewest instructions, the call line that inlines a routine there)
        table = [
            ("gcc", "selection_sort_b2", 150, ("sorting/selection_sort.cpp", 26)),
            ("gcc", "fib_recursive_b2", 250, ("sequences/fib_recursive.cpp", 16)),
            ("gcc", "array_compare_b2", 200, ("arrays/array_compare.cpp", None)),
            ("clang", "selection_sort_b2", 150, ("sorting/selection_sort.cpp", 26)),
            ("clang", "fib_recursive_b2", 150, ("sequences/fib_recursive.cpp", None)),
            ("clang", "array_compare_b2", 200, ("arrays/array_compare.cpp", None)),
            ("aarch64", "selection_sort_b2", 150, ("sorting/selection_sort.cpp", 26)),
            ("aarch64", "fib_recursive_b2", 250, ("sequences/fib_recursive.cpp", 16)),
            ("aarch64", "array_compare_b2", 200, ("arrays/array_compare.cpp", None)),
        ]
        for cell, executable, fewest, (source, call_line) in table:
            with self.subTest(cell=cell, executable=executable):
                path = os.path.join(folder(cell), executable)
                found = records(path)
                self.assertGreaterEqual(len(found), fewest)
                theirs = addr2line_frames(path, [r["address"] for r in found])
                disagree = []
                for record in found:
                    chain = record["inlined"]
                    ours = []
                    for k in range(len(chain) + 1):
                        name = chain[k]["name"] if k < len(chain) else record["function"]
                        place = (f"{record['file']}:{record['line']}" if k == 0 else
                                 f"{chain[k - 1]['call_file']}:{chain[k - 1]['call_line']}")
                        ours.append((name, place))
                    if ours != theirs.get(record["address"]):
                        disagree.append((record["address"], ours, theirs.get(record["address"])))
                self.assertEqual(disagree, [], f"{len(disagree)} of {len(found)} disagree")
                # The program's code is there, and inlined copies with it.
                self.assertTrue(any(r["file"] == source for r in found))
                self.assertTrue(any(r["file"] == "common/suite.hpp" for r in found))
                self.assertTrue(any(r["inlined"] for r in found))
                if call_line:
                    self.assertTrue(any(c["call_file"] == source and c["call_line"] == call_line
                                        for r in found for c in r["inlined"]))


class Shapes(unittest.TestCase):

    def test_json_lines_cover_each_function_without_gaps(self):
        for cell in ("gcc", "aarch64"):
            with self.subTest(cell=cell):
                found = records(os.path.join(folder(cell), "selection_sort_b2"))
                for record in found:
                    self.assertEqual(list(record), FIELDS)
                    self.assertRegex(record["address"], r"^0x[0-9a-f]+$")
                    for copy in record["inlined"]:
                        self.assertEqual(sorted(copy), ["call_file", "call_line", "name"])
                addresses = [int(r["address"], 16) for r in found]
                self.assertEqual(addresses, sorted(set(addresses)))
                # Within a function each instruction follows the one before.
                for before, after in zip(found, found[1:]):
                    if before["function"] == after["function"]:
                        self.assertEqual(int(before["address"], 16) + before["size"], int(after["address"], 16))
                functions = {r["function"] for r in found}
                self.assertIn("main", functions)
                self.assertIn("suite::check_standard_streams()", functions)
                if cell == "aarch64":
                    self.assertTrue(all(r["size"] == 4 for r in found))

    def test_text_puts_the_call_at_b0_and_the_inlined_body_at_b2_under_line_26(self):
        path = folder("gcc")
        done = explore("--text", path, "selection_sort", "b0", "b2", "--no-profile")
        self.assertEqual(done.returncode, 0, done.stderr)
        lines = done.stdout.splitlines()
        at = lines.index("   26 |     sort_selection(values, count);")
        under = []
        for line in lines[at + 1:]:
            if re.match(r"^\s*\d+ \|", line):
                break
            under.append(line)
        self.assertTrue(any(re.match(r"^\s+b0\s+0x[0-9a-f]+\s+call ", line) for line in under), under)
        inlined = [r for r in records(os.path.join(path, "selection_sort_b2"))
                   if any(c["call_line"] == 26 and c["call_file"] == "sorting/selection_sort.cpp" for c in r["inlined"])]
        self.assertGreater(len(inlined), 20)
        self.assertIn(f"      b2  ({len(inlined)} instructions inlined by this call: sort_selection)", under)
        # Every source line is there once, in order.
        numbers = [int(m.group(1)) for m in map(re.compile(r"^\s*(\d+) \|").match, lines) if m]
        with open(os.path.join(ROOT, "sorting", "selection_sort.cpp")) as f:
            count = len(f.read().split("\n"))
        self.assertEqual(numbers[:count], list(range(1, count + 1)))


@unittest.skipIf(VALGRIND is None, "valgrind is missing")
class Executed(unittest.TestCase):
    """callgrind's counts of line 42, the comparison of the inner loop: at
    b0 its 8 instructions run once per pair of the n numbers."""

    def test_line_42_runs_once_per_pair(self):
        # (numbers, the line's instructions at b0 times its n (n - 1) / 2 runs)
        table = [([3, 1, 4, 1, 5], 8 * 10), ([9, 3, 7, 1, 8, 2, 10, 4, 6, 5], 8 * 45), ([7], 0)]
        cache = os.path.join(WORK, "cache")
        for numbers, expected in table:
            with self.subTest(numbers=numbers):
                source = os.path.join(WORK, f"input-{len(numbers)}.in")
                with open(source, "w") as f:
                    f.write(f"{len(numbers)}\n{' '.join(map(str, numbers))}\n")
                done = explore("--text", folder("gcc"), "selection_sort", "b0", "b2", "--input", source,
                               "--cache", cache)
                self.assertEqual(done.returncode, 0, done.stderr)
                counts = {"b0": 0, "b2": 0}
                lines = done.stdout.splitlines()
                at = next(k for k, line in enumerate(lines) if line.startswith("   42 |"))
                for line in lines[at + 1:]:
                    match = re.match(r"^\s+(b\d)\s+0x[0-9a-f]+\s.*\[(\d+)x\]$", line)
                    if not match:
                        break
                    counts[match.group(1)] += int(match.group(2))
                self.assertEqual(counts["b0"], expected)
                self.assertLessEqual(counts["b2"], counts["b0"])
                if expected:
                    self.assertGreater(counts["b2"], 0)


class ProfileFormat(unittest.TestCase):
    """Reading callgrind's format: ids of names per kind, relative
    addresses, and a call's inclusive cost left to the callee."""

    PROFILE = """# callgrind format
version: 1
positions: instr
events: Ir
ob=(1) /usr/lib/x86_64-linux-gnu/libc.so.6
fl=(1) ./stdio-common/printf.c
fn=(1) printf
0x5c400 7
+2 3
ob=(2) /work/bin/selection_sort_b2
fl=(2) ./sorting/selection_sort.cpp
fn=(2) main
0x1340 1
+4 2
*  5
cob=(1)
cfn=(1)
calls=1 0x5c400
+1 900
+5 4
-9 6
fn=(1)
0x1400 8
ob=(1)
fn=(2)
0x1340 1000
"""

    def test_counts_of_the_executable_alone_without_the_calls_cost(self):
        from engine import explore_profile
        # (objects asked for, counts expected)
        table = [
            (["selection_sort_b2"], {0x1340: 1, 0x1344: 7, 0x134a: 4, 0x1341: 6, 0x1400: 8}),
            (["libc.so.6"], {0x5c400: 7, 0x5c402: 3, 0x1340: 1000}),
            (["fib_loop_b0"], {}),
        ]
        for objects, expected in table:
            with self.subTest(objects=objects):
                self.assertEqual(explore_profile.parse(self.PROFILE, objects), expected)

    def test_the_load_offset_puts_a_count_on_mains_first_instruction(self):
        from engine import explore_profile
        table = [({0x1340: 1, 0x1344: 2}, 0x1340, 0), ({0x109340: 1}, 0x1340, 0x108000), ({0x1344: 1}, 0x1340, None),
                 ({}, 0x1340, None)]
        for counts, main, offset in table:
            with self.subTest(counts=counts):
                self.assertEqual(explore_profile.load_offset(counts, main), offset)


class Site(unittest.TestCase):
    """The site of the g++ and the clang folders."""

    @classmethod
    def setUpClass(cls):
        cls.site = os.path.join(WORK, "site")
        cls.done = explore(folder("gcc"), folder("clang"), "--output", cls.site, "--no-profile")

    def test_pages_hold_both_folders_and_the_manifests_fates(self):
        self.assertEqual(self.done.returncode, 0, self.done.stderr)
        self.assertEqual(sorted(os.listdir(self.site)), sorted(["index.html"] + [f"{p}.html" for p in PROGRAMS]))
        manifests = {}
        for cell in ("gcc", "clang"):
            out = os.path.join(WORK, f"{cell}.manifest.jsonl")
            subprocess.run([sys.executable, os.path.join(ROOT, "tools", "describe"), folder(cell), "--quiet",
                            "--output", out], check=True)
            with open(out) as f:
                manifests[cell] = {e["file"]: e for e in map(json.loads, f)}
        for program in PROGRAMS:
            with self.subTest(program=program):
                data = page_data(os.path.join(self.site, f"{program}.html"))
                builds = data["builds"]
                self.assertEqual(len({b["folder"] for b in builds}), 2)
                for b, cell in zip(builds, ["gcc"] * (len(builds) // 2) + ["clang"] * (len(builds) // 2)):
                    entry = manifests[cell][b["executable"]]
                    self.assertEqual([r["where"] for r in b["routinesTable"]], [r["where"] for r in entry["routines"]])
                    if b["executable"] == "selection_sort_b2":
                        ours = records(os.path.join(folder(cell), b["executable"]))
                        self.assertEqual([hex(ins[0]) for ins in b["ins"]], [r["address"] for r in ours])
                        self.assertEqual([ins[3] for ins in b["ins"]], [r["text"] for r in ours])
                    remarks = os.path.join(folder(cell), b["executable"] + ".remarks.jsonl")
                    if os.path.exists(remarks):
                        with open(remarks) as f:
                            self.assertEqual(len(b["remarks"]), len(f.read().splitlines()))
                    else:
                        self.assertIsNone(b["remarks"])

    def test_call_line_26_counts_the_inlined_body(self):
        data = page_data(os.path.join(self.site, "selection_sort.html"))
        files = [s["file"] for s in data["sources"]]
        key = f"{files.index('sorting/selection_sort.cpp')}:26"
        for b in data["builds"]:
            with self.subTest(build=b["id"]):
                n, _, _, via, _ = b["lines"][key]
                inlined = sum(1 for ins in b["ins"] if any(c[1] == 0 and c[2] == 26 for c in ins[7]))
                self.assertEqual(via, inlined)
                if b["level"] == "O0":
                    self.assertGreater(n, 0)
                    self.assertEqual(via, 0)
                else:
                    self.assertGreater(via, 20)

    def test_pages_fetch_nothing(self):
        for page in os.listdir(self.site):
            with self.subTest(page=page):
                with open(os.path.join(self.site, page), encoding="utf-8") as f:
                    text = f.read()
                self.assertTrue(text.rstrip().endswith("</html>"))
                # No element that loads anything, no style that does.
                tags = re.findall(r"<(?:script|link|img|iframe|object|embed|source)\b[^>]*>", text)
                self.assertEqual([t for t in tags if re.search(r"\b(src|href|data)=", t)], [])
                styles = "".join(re.findall(r"<style>(.*?)</style>", text, re.S))
                self.assertIsNone(re.search(r"@import|url\(", styles))
                self.assertLess(len(text.encode()), 1_500_000)

    def test_index_compares_the_folders(self):
        data = page_data(os.path.join(self.site, "index.html"))
        self.assertEqual(len(data["folders"]), 2)
        self.assertRegex(data["folders"][0]["label"], r"GNU")
        self.assertRegex(data["folders"][1]["label"], r"clang")
        for program in data["programs"]:
            self.assertEqual({b["folder"] for b in program["builds"]}, {0, 1})
            for b in program["builds"]:
                self.assertEqual(set(b["routines"]), set(program["routines"]))


def make_case(name, base):
    """A folder of one bad input and the arguments to give the explorer."""
    case = os.path.join(WORK, "bad", name)
    os.makedirs(case)
    gcc = folder("gcc")

    def copy(file, as_name=None):
        shutil.copy2(os.path.join(gcc, file), os.path.join(case, as_name or file))
    if name == "no debug files":
        copy("selection_sort_b0")
        copy("selection_sort_b2")
    elif name == "stripped":
        copy("selection_sort_b2")
        subprocess.run(["strip", "--strip-all", "--remove-section=.gnu_debuglink", os.path.join(case, "selection_sort_b2")],
                       check=True)
    elif name == "not an ELF file":
        with open(os.path.join(case, "selection_sort_b9"), "w") as f:
            f.write("#!/bin/sh\necho hello\n")
    elif name == "another program's executable":
        copy("fib_recursive_b0", "selection_sort_b1")
        copy("fib_recursive_b0.debug")
    elif name == "damaged":
        with open(os.path.join(gcc, "selection_sort_b2"), "rb") as f:
            data = f.read()
        with open(os.path.join(case, "selection_sort_b2"), "wb") as f:
            f.write(data[:3000])
    elif name == "machine Capstone lacks":
        copy("selection_sort_b2")
        copy("selection_sort_b2.debug")
        with open(os.path.join(case, "selection_sort_b2"), "r+b") as f:
            f.seek(18)  # e_machine
            f.write((243).to_bytes(2, "little"))  # EM_RISCV
    elif name == "sources not found":
        copy("selection_sort_b2")
        copy("selection_sort_b2.debug")
    # One good executable beside the bad one: its page must still be written.
    shutil.copy2(os.path.join(gcc, "array_compare_b2"), case)
    shutil.copy2(os.path.join(gcc, "array_compare_b2.debug"), case)
    return case


class BadInput(unittest.TestCase):

    def test_each_bad_input_is_one_line_and_the_rest_is_written(self):
        # (case, more arguments, what the one line says, what the page says of selection_sort)
        table = [
            ("no debug files", [], r"2 of 3 executables .*no debug information \(debug file <executable>\.debug "
             r"not readable", "no debug information"),
            ("stripped", [], r"selection_sort_b2: stripped: no symbol table and no debug information", "stripped"),
            ("not an ELF file", [], r"selection_sort_b9: not an ELF file", None),
            ("another program's executable", [], r"selection_sort_b1: the debug information has no unit of "
             r"selection_sort\.cpp", "no unit of selection_sort.cpp"),
            ("damaged", [], r"selection_sort_b2: cannot be read .*: left out", None),
            ("machine Capstone lacks", [], r"Capstone 4 cannot decode EM_RISCV", "cannot decode EM_RISCV"),
            ("sources not found", ["--source", "/nonexistent/tree"], r"the sources are not under /nonexistent/tree",
             None),
        ]
        for name, more, says, page_says in table:
            with self.subTest(case=name):
                case = make_case(name, WORK)
                site = os.path.join(WORK, "bad-sites", name)
                done = explore(case, "--output", site, "--no-profile", *more, cwd=WORK)
                self.assertEqual(done.returncode, 0, done.stderr)
                self.assertNotIn("Traceback", done.stderr)
                lines = done.stderr.splitlines()
                self.assertEqual(len(lines), 1, lines)
                self.assertRegex(lines[0], r"^explore: " + ".*" + says)
                written = sorted(os.listdir(site))
                self.assertIn("array_compare.html", written)
                self.assertIn("index.html", written)
                self.assertFalse([f for f in written if f.endswith(".part")])
                index = page_data(os.path.join(site, "index.html"))
                self.assertEqual(len(index["warnings"]), 1)
                if page_says:
                    data = page_data(os.path.join(site, "selection_sort.html"))
                    b = data["builds"][-1]
                    self.assertTrue(any(page_says in note for note in b["notes"]), b["notes"])
                    if name in ("no debug files", "stripped", "another program's executable"):
                        self.assertTrue(b["ins"])
                        self.assertTrue(all(ins[5] == -1 for ins in b["ins"]))  # tied to no line
                    if name == "machine Capstone lacks":
                        self.assertEqual(b["ins"], [])
                        self.assertTrue(b["lines"])  # bytes per line by the line table
                        self.assertEqual([r["where"] for r in b["routinesTable"]],
                                         ["function", "inlined", "inlined"])
                if name == "sources not found":
                    data = page_data(os.path.join(site, "selection_sort.html"))
                    self.assertIsNone(data["sources"][0]["lines"])

    def test_what_cannot_be_done_at_all_fails_with_one_line(self):
        gcc = folder("gcc")
        other = os.path.join(WORK, "not-suite")
        os.makedirs(other, exist_ok=True)
        shutil.copy2(os.path.join(gcc, "selection_sort_b2"), os.path.join(other, "a.out"))
        riscv = make_case("machine Capstone lacks", WORK) if not os.path.exists(
            os.path.join(WORK, "bad", "machine Capstone lacks")) else os.path.join(WORK, "bad", "machine Capstone lacks")
        table = [
            (["/nonexistent/folder", "--output", os.path.join(WORK, "nothing")], r"no such folder"),
            (["--json", os.path.join(other, "a.out")], r"not an executable of the suite"),
            (["--json", os.path.join(WORK, "no-such-file")], r"no such file"),
            (["--json", os.path.join(riscv, "selection_sort_b2")], r"Capstone 4 cannot decode EM_RISCV"),
            (["--text", gcc, "selection_sort", "b7"], r"no build b7 of selection_sort"),
            (["--text", gcc, "no_such_program", "b0"], r"no program no_such_program"),
        ]
        for args, says in table:
            with self.subTest(args=args):
                done = explore(*args)
                self.assertNotEqual(done.returncode, 0)
                self.assertNotIn("Traceback", done.stderr)
                self.assertEqual(len(done.stderr.splitlines()), 1, done.stderr)
                self.assertRegex(done.stderr, says)
        self.assertFalse(os.path.exists(os.path.join(WORK, "nothing", "index.html")))

    def test_a_page_that_cannot_be_written_leaves_no_half_and_the_others_whole(self):
        site = os.path.join(WORK, "blocked-site")
        os.makedirs(os.path.join(site, "fib_recursive.html"))  # a folder where the page would go
        done = explore(folder("gcc"), "--output", site, "--no-profile")
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertRegex(done.stderr, r"^explore: fib_recursive\.html: not written \(")
        self.assertEqual(len(done.stderr.splitlines()), 1)
        written = sorted(os.listdir(site))
        self.assertEqual(written, ["array_compare.html", "fib_recursive.html", "index.html", "selection_sort.html"])
        self.assertTrue(os.path.isdir(os.path.join(site, "fib_recursive.html")))
        for page in ("array_compare.html", "selection_sort.html", "index.html"):
            with open(os.path.join(site, page), encoding="utf-8") as f:
                self.assertTrue(f.read().rstrip().endswith("</html>"))


if __name__ == "__main__":
    unittest.main(verbosity=2)
