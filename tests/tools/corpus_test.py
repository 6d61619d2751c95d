#!/usr/bin/python3
"""tools/corpus end to end: small matrices built through GNU parallel, the
database checked against independent readers (llvm-nm-16, the cross nm's
PLT entries, llvm-dwarfdump-16), a miscompiling compiler's program kept
apart, stripped copies that name nothing, bad matrices refused in one line
before anything is built, a cell stopped at its time limit, a full disk, an
interrupted run resumed, and two cells through an sshd on 127.0.0.1."""

import collections
import hashlib
import os
import re
import shutil
import signal
import socket
import sqlite3
import subprocess
import sys
import tempfile
import time
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
CORPUS = os.path.join(ROOT, "tools", "corpus")
sys.path.insert(0, os.path.join(ROOT, "tools"))
from engine.binary import Binary  # noqa: E402

SCRATCH = tempfile.mkdtemp(prefix="corpus-test-")
# g++ and clang, this machine and two others.
MACHINES = ["x86_64-linux-gnu", "i686-linux-gnu", "aarch64-linux-gnu"]
PROGRAMS = ["quick_sort", "heap_sort", "selection_sort"]
# g++, but selection sort's outer loop stops one pass early.
MISCOMPILER = os.path.join(ROOT, "tests", "tools", "wrong-g++")


def matrix(name, **keys):
    """A matrix file in SCRATCH from keyword arguments (lists, strings, booleans)."""
    def value(item):
        if isinstance(item, bool):
            return "true" if item else "false"
        if isinstance(item, list):
            return "[" + ", ".join(value(word) for word in item) + "]"
        return '"' + str(item) + '"' if isinstance(item, str) else str(item)
    path = os.path.join(SCRATCH, name + ".toml")
    with open(path, "w") as f:
        f.write("".join(f"{key} = {value(item)}\n" for key, item in keys.items()))
    return path


def corpus(*args, timeout=600, **popen):
    return subprocess.run([CORPUS, *args], capture_output=True, text=True, timeout=timeout, env=ENVIRONMENT, **popen)


# The cells' folders below SCRATCH: a cell the test kills leaves its own.
ENVIRONMENT = {**os.environ, "TMPDIR": os.path.join(SCRATCH, "tmp")}
os.makedirs(ENVIRONMENT["TMPDIR"])


def script(name, text):
    path = os.path.join(SCRATCH, name)
    with open(path, "w") as f:
        f.write(text)
    os.chmod(path, 0o755)
    return path


# The tools the test needs and the Debian packages that bring them.
NEEDED = {"parallel": "parallel", "g++": "g++", "clang++": "clang", "llvm-nm-16": "llvm-16",
          "llvm-dwarfdump-16": "llvm-16", "qemu-aarch64": "qemu-user", "aarch64-linux-gnu-g++": "g++-aarch64-linux-gnu",
          "i686-linux-gnu-g++": "g++-i686-linux-gnu"}
# Those of the test through ssh alone, which skips without them.
FOR_SSH = {"rsync": "rsync", "ssh-keygen": "openssh-client", "/usr/sbin/sshd": "openssh-server"}


def missing_tools(tools=NEEDED):
    return [tool for tool in tools if shutil.which(tool) is None]


def ensure_packages():
    """As root, installs what is missing as tools/ensure_packages.sh does."""
    tools = {**NEEDED, **FOR_SSH}
    packages = sorted({tools[tool] for tool in missing_tools(tools)})
    if packages and os.geteuid() == 0:
        subprocess.run(["bash", "-c", 'source tools/ensure_packages.sh && ensure_packages "$@"', "corpus_test",
                        *packages], cwd=ROOT, stdout=subprocess.DEVNULL)


def read_db(out):
    connection = sqlite3.connect(os.path.join(out, "corpus.sqlite"))
    connection.row_factory = sqlite3.Row
    return connection


class Corpus(unittest.TestCase):
    """One corpus of 6 cells (g++ and clang++ on three machines, -O2,
    three programs), then the miscompiling compiler's cell into the same
    OUT, with a matrix of its own."""

    @classmethod
    def setUpClass(cls):
        cls.out = os.path.join(SCRATCH, "out")
        cls.first = corpus(matrix("small", compilers=["g++", "clang++"], machines=MACHINES, options=["-O2"],
                                  programs=PROGRAMS, stripped=True, remarks=False), cls.out, "-j", "2")
        cls.wrong = MISCOMPILER
        cls.second = corpus(matrix("wrong", compilers=[cls.wrong], machines=["x86_64-linux-gnu"], options=["-O1"],
                                   stripped=False, remarks=False), cls.out, "-j", "1", "--cell-jobs", "2")
        cls.db = read_db(cls.out)

    def originals(self):
        return self.db.execute("SELECT * FROM binaries WHERE stripped_of IS NULL AND cell NOT LIKE 'wrong%'").fetchall()

    def test_every_cell_done_and_every_binary_verified(self):
        self.assertEqual(self.first.returncode, 0, self.first.stdout + self.first.stderr)
        cells = dict(self.db.execute("SELECT name, status FROM cells WHERE name NOT LIKE 'wrong%'"))
        self.assertEqual(len(cells), 6)
        self.assertEqual(set(cells.values()), {"done"})
        rows = self.originals()
        self.assertEqual(len(rows), 18)
        self.assertTrue(all(row["verified"] == 1 and row["first_difference"] is None for row in rows))
        machines = collections.Counter(row["machine"] for row in rows)
        self.assertEqual(machines, {"EM_X86_64": 6, "EM_386": 6, "EM_AARCH64": 6})
        for row in rows:
            with open(os.path.join(self.out, row["path"]), "rb") as f:
                data = f.read()
            self.assertEqual(row["sha256"], hashlib.sha256(data).hexdigest(), row["path"])
            self.assertEqual(row["size"], len(data))
            binary = Binary(os.path.join(self.out, row["path"]))
            self.assertEqual((row["elf_class"], row["byte_order"], row["pie"]),
                             (binary.elf_class, binary.byte_order, int(binary.pie)), row["path"])
            self.assertEqual(row["compiler_kind"], "Clang" if "clang" in row["compiler"] else "GNU")
            self.assertIn(row["compiler_version"], row["producer"])

    def test_schema_has_the_named_tables_and_columns(self):
        wanted = {
            "binaries": "id path sha256 size program compiler compiler_version machine elf_class byte_order options "
                        "stripped_of verified first_difference pie same_bytes_as same_code_as split_key",
            "functions": "binary_id name linkage_name start size kind file line",
            "inlined": "binary_id routine function low high call_file call_line depth",
            "lines": "binary_id address file line column",
        }
        for table, columns in wanted.items():
            have = {row[1] for row in self.db.execute(f"PRAGMA table_info({table})")}
            self.assertLessEqual(set(columns.split()), have, table)
        self.assertEqual(self.db.execute("PRAGMA integrity_check").fetchone()[0], "ok")

    def test_symbol_table_functions_agree_with_llvm_nm(self):
        compared = 0
        for row in self.originals():
            count, disagreements = nm_disagreements(self.db, self.out, row)
            self.assertEqual(disagreements, [])
            compared += count
            functions = self.db.execute("SELECT * FROM functions WHERE binary_id = ?", (row["id"],)).fetchall()
            self.assertEqual({f["kind"] for f in functions}, {"routine", "suite", "startup", "plt"}, row["path"])
            names = {(f["kind"], f["name"]) for f in functions}
            for kind, name in (("startup", "_start"), ("startup", "_init"), ("startup", "frame_dummy"),
                               ("routine", "main"), ("suite", "check_standard_streams")):
                self.assertIn((kind, name), names, row["path"])
        self.assertGreater(compared, 18 * 4)

    def test_plt_entries_agree_with_the_machines_nm(self):
        compared = 0
        for row in self.originals():
            count, disagreements = plt_disagreements(self.db, self.out, row)
            self.assertEqual(disagreements, [])
            compared += count
        self.assertGreater(compared, 6 * 10)

    def test_inlined_copies_agree_with_llvm_dwarfdump(self):
        compared = 0
        for row in self.originals():
            count, disagreements = dwarfdump_disagreements(self.db, self.out, row)
            self.assertEqual(disagreements, [])
            compared += count
        self.assertGreater(compared, 100)

    def test_lines_are_the_line_table(self):
        for row in self.originals()[:3]:
            rows = self.db.execute("SELECT address, file, line FROM lines WHERE binary_id = ? AND end_sequence = 0",
                                   (row["id"],)).fetchall()
            self.assertTrue(any(file == f"sorting/{row['program']}.cpp" for _, file, _ in rows), row["path"])
            main = self.db.execute("SELECT start, file, line FROM functions WHERE binary_id = ? AND name = 'main'",
                                   (row["id"],)).fetchone()
            # The first row of main is at main's start, in its file.
            self.assertIn((main[0], main[1]), {(address, file) for address, file, _ in rows})

    def test_stripped_copies_name_no_compiler_flags_or_level(self):
        copies = self.db.execute("SELECT * FROM binaries WHERE stripped_of IS NOT NULL").fetchall()
        self.assertEqual(len(copies), 18)
        for copy in copies:
            original = self.db.execute("SELECT * FROM binaries WHERE id = ?", (copy["stripped_of"],)).fetchone()
            path = os.path.join(self.out, copy["path"])
            with open(path, "rb") as f:
                data = f.read()
            for text in (b"GCC", b"clang", b"-O2", b".suite.flags", b"GNU C", b"12.2.0", b"14.0", b"-std="):
                self.assertNotIn(text, data, f"{copy['path']} holds {text!r}")
            binary = Binary(path)
            names = {section.name for section in binary.elf.iter_sections()}
            self.assertFalse(names & {".comment", ".suite.flags", ".gnu_debuglink", ".symtab"}, copy["path"])
            self.assertFalse([name for name in names if name.startswith(".debug")], copy["path"])
            self.assertIsNone(binary.dwarf)
            self.assertEqual(binary.symbols(), [s for s in binary.symbols() if s.name in dynamic_names(binary)])
            self.assertEqual(copy["loaded_sha256"], original["loaded_sha256"])
            self.assertEqual(copy["same_code_as"] or copy["id"], original["same_code_as"] or original["id"])
            self.assertEqual(copy["split_key"], original["split_key"])
            self.assertEqual(self.db.execute("SELECT COUNT(*) FROM functions WHERE binary_id = ?",
                                             (copy["id"],)).fetchone()[0], 0)

    def test_same_bytes_and_code_across_the_corpus(self):
        rows = self.db.execute("SELECT * FROM binaries ORDER BY id").fetchall()
        first_bytes, first_code = {}, {}
        for row in rows:
            binary = Binary(os.path.join(self.out, row["path"]))
            code = binary.loaded_digest()
            self.assertEqual(row["loaded_sha256"], code)
            expected = first_bytes.setdefault(row["sha256"], row["id"])
            self.assertEqual(row["same_bytes_as"], expected if expected != row["id"] else None, row["path"])
            expected = first_code.setdefault(code, row["id"])
            self.assertEqual(row["same_code_as"], expected if expected != row["id"] else None, row["path"])

    def test_miscompiled_program_alone_is_rejected(self):
        self.assertEqual(self.second.returncode, 0, self.second.stdout + self.second.stderr)
        rows = self.db.execute("SELECT program, verified, first_difference, path FROM binaries "
                               "WHERE cell LIKE 'wrong-g++%'").fetchall()
        self.assertEqual(len(rows), 15)
        rejected = [row for row in rows if not row["verified"]]
        self.assertEqual([row["program"] for row in rejected], ["selection_sort"])
        self.assertIn("instead of", rejected[0]["first_difference"])
        cell = "wrong-g++__x86_64-linux-gnu__O1"
        self.assertEqual(rejected[0]["path"], f"rejected/{cell}/selection_sort")
        kept = set(os.listdir(os.path.join(self.out, "cells", cell)))
        self.assertNotIn("selection_sort", kept)
        self.assertEqual({row["program"] for row in rows if row["verified"]} & kept, {row["program"] for row in rows} -
                         {"selection_sort"})
        with open(os.path.join(self.out, "rejected", cell, "selection_sort.difference.txt")) as f:
            self.assertEqual(f.read().strip(), rejected[0]["first_difference"])
        # The first run's cells are untouched by the second matrix.
        self.assertEqual(self.db.execute("SELECT COUNT(*) FROM cells").fetchone()[0], 7)

    def test_the_same_command_again_makes_nothing(self):
        before = {name: os.stat(os.path.join(self.out, "records", name + ".json")).st_mtime_ns
                  for name in os.listdir(os.path.join(self.out, "cells"))}
        again = corpus(os.path.join(SCRATCH, "small.toml"), self.out)
        self.assertEqual(again.returncode, 0, again.stderr)
        self.assertNotIn("cells to make", again.stdout)
        self.assertIn("6 of 6 cells done", again.stdout)
        after = {name: os.stat(os.path.join(self.out, "records", name + ".json")).st_mtime_ns for name in before}
        self.assertEqual(before, after)


# --- the independent readers ---------------------------------------------------

def nm_disagreements(db, out, row):
    """(symbols compared, disagreements) of one binary: every function
    symbol with a size that llvm-nm-16 lists is a row of the same start and
    size and name, and no two rows of a section overlap."""
    path = os.path.join(out, row["path"])
    listing = subprocess.run(["llvm-nm-16", "-S", "--defined-only", path], capture_output=True, text=True,
                             check=True).stdout
    functions = {(f["start"], f["size"]): f for f in db.execute("SELECT * FROM functions WHERE binary_id = ?",
                                                                 (row["id"],))}
    compared, wrong = 0, []
    for line in listing.splitlines():
        fields = line.split()
        if len(fields) == 4 and fields[2] in "tTwW" and int(fields[1], 16) > 0:
            compared += 1
            found = functions.get((int(fields[0], 16), int(fields[1], 16)))
            if found is None or fields[3] not in [found["linkage_name"]] + (found["aliases"] or "").split():
                wrong.append(f"{row['path']}: {line}: {dict(found) if found else 'no such row'}")
    spans = sorted((f["section"], f["start"], f["start"] + f["size"]) for f in functions.values())
    for (section, _, end), (other, start, _) in zip(spans, spans[1:]):
        if section == other and start < end:
            wrong.append(f"{row['path']}: rows overlap in {section} at {start:#x}")
    return compared, wrong


def plt_disagreements(db, out, row):
    """(PLT entries compared, disagreements): the @plt entries the machine's
    binutils nm --synthetic lists are the plt rows, by address and name."""
    nm = {"EM_X86_64": "nm", "EM_386": "i686-linux-gnu-nm", "EM_AARCH64": "aarch64-linux-gnu-nm"}.get(row["machine"])
    if nm is None or shutil.which(nm) is None:
        return 0, []
    listing = subprocess.run([nm, "--synthetic", os.path.join(out, row["path"])], capture_output=True,
                             text=True).stdout
    synthetic = {(int(address, 16), name) for address, _, name in
                 (line.split() for line in listing.splitlines() if line.endswith("@plt"))}
    ours = {(f["start"], f["name"]) for f in db.execute(
        "SELECT start, name FROM functions WHERE binary_id = ? AND kind = 'plt' AND name LIKE '%@plt'", (row["id"],))}
    if not synthetic:
        return 0, []
    return len(synthetic), [f"{row['path']}: {sorted(ours ^ synthetic)}"] if ours != synthetic else []


def dwarfdump_disagreements(db, out, row):
    """(ranges compared, disagreements): the ranges and call lines of every
    DW_TAG_inlined_subroutine that llvm-dwarfdump-16 shows are the inlined rows."""
    dump = subprocess.run(["llvm-dwarfdump-16", "--debug-info", os.path.join(out, row["debug_file"])],
                          capture_output=True, text=True, check=True).stdout
    theirs = collections.Counter()
    for block in re.split(r"\n(?=0x[0-9a-f]+:\s+DW_TAG_)", dump):
        if not re.match(r"0x[0-9a-f]+:\s+DW_TAG_inlined_subroutine", block):
            continue
        # The range list of DW_AT_ranges, or DW_AT_low_pc and DW_AT_high_pc.
        ranges = re.findall(r"\[(0x[0-9a-f]+), (0x[0-9a-f]+)\)", block)
        low = re.search(r"DW_AT_low_pc\s+\((0x[0-9a-f]+)\)", block)
        high = re.search(r"DW_AT_high_pc\s+\((0x[0-9a-f]+)\)", block)
        if not ranges and low and high:
            ranges = [(low[1], high[1])]
        line = re.search(r"DW_AT_call_line\s+\((\d+)\)", block)
        for begin, end in ranges:
            if int(end, 16) > int(begin, 16):  # empty ranges have no code
                theirs[(int(begin, 16), int(end, 16), int(line[1]) if line else 0)] += 1
    ours = collections.Counter((r["low"], r["high"], r["call_line"]) for r in db.execute(
        "SELECT low, high, call_line FROM inlined WHERE binary_id = ?", (row["id"],)))
    wrong = [f"{row['path']}: only in the database {sorted(ours - theirs)[:3]}, only in llvm-dwarfdump "
             f"{sorted(theirs - ours)[:3]}"] if ours != theirs else []
    return sum(theirs.values()), wrong


def check_corpus(out):
    """corpus_test.py --check OUT: the independent readers over a whole
    corpus; prints the counts and every disagreement."""
    db = read_db(out)
    rows = db.execute("SELECT * FROM binaries WHERE stripped_of IS NULL AND debug_file IS NOT NULL").fetchall()
    failed = 0
    for name, check in (("llvm-nm-16 -S: function symbols", nm_disagreements),
                        ("nm --synthetic: PLT entries", plt_disagreements),
                        ("llvm-dwarfdump-16: inlined ranges", dwarfdump_disagreements)):
        compared, wrong = 0, []
        for row in rows:
            count, found = check(db, out, row)
            compared += count
            wrong += found
        print(f"{name}: {len(rows)} binaries, {compared} compared, {len(wrong)} disagreements")
        for line in wrong[:20]:
            print("  " + line)
        failed += len(wrong)
    return 1 if failed else 0


def dynamic_names(binary):
    section = binary.elf.get_section_by_name(".dynsym")
    return {symbol.name for symbol in section.iter_symbols()} if section is not None else set()


class BadInput(unittest.TestCase):
    """One line naming the fault, exit status 2, nothing built."""

    def test_bad_matrices(self):
        cases = [
            ("unknown machine", dict(compilers=["g++"], machines=["vax-dec-ultrix9"], options=["-O2"]),
             r"unknown machine 'vax-dec-ultrix9'"),
            ("not a triple", dict(compilers=["g++"], machines=["aarch64"], options=["-O2"]), r"unknown machine"),
            ("missing compiler", dict(compilers=["g++-11"], machines=["mips64el-linux-gnuabi64"], options=["-O2"]),
             r"no compiler mips64el-linux-gnuabi64-g\+\+-11: Debian's package g\+\+-11-mips64el-linux-gnuabi64"),
            ("missing clang", dict(compilers=["clang++-9"], machines=["x86_64-linux-gnu"], options=["-O2"]),
             r"no compiler clang\+\+-9: Debian's package clang-9 brings it"),
            ("unknown key", dict(compilers=["g++"], machines=["x86_64-linux-gnu"], level=["-O2"]),
             r"unknown key level"),
            ("unknown program", dict(compilers=["g++"], machines=["x86_64-linux-gnu"], programs=["tetris"]),
             r"no program tetris"),
            ("no compilers", dict(machines=["x86_64-linux-gnu"]), r"compilers must be a list of strings"),
            ("not a flag", dict(compilers=["g++"], machines=["x86_64-linux-gnu"], stripped="yes"),
             r"stripped must be true or false"),
            ("no jobs", dict(compilers=["g++"], machines=["x86_64-linux-gnu"], jobs=0), r"jobs must be a positive"),
        ]
        for name, keys, message in cases:
            with self.subTest(name):
                out = os.path.join(SCRATCH, "bad-" + name.replace(" ", "-"))
                done = corpus(matrix("bad", **keys), out)
                self.assertEqual(done.returncode, 2, done.stdout + done.stderr)
                self.assertEqual(len(done.stderr.strip().splitlines()), 1, done.stderr)
                self.assertRegex(done.stderr, message)
                self.assertFalse(os.path.exists(os.path.join(out, "corpus.sqlite")))
        binary = os.path.join(SCRATCH, "binary.toml")
        with open(binary, "wb") as f:
            f.write(b"\x7fELF\x02\x01\x01\xff\xfe\n")
        done = corpus(binary, os.path.join(SCRATCH, "bad-binary"))
        self.assertEqual((done.returncode, len(done.stderr.splitlines())), (2, 1), done.stderr)
        self.assertIn("binary.toml: not a TOML file", done.stderr)
        malformed = os.path.join(SCRATCH, "malformed.toml")
        with open(malformed, "w") as f:
            f.write('compilers = ["g++"\nmachines = x86_64\n')
        done = corpus(malformed, os.path.join(SCRATCH, "bad-malformed"))
        self.assertEqual(done.returncode, 2)
        self.assertRegex(done.stderr, r"^corpus: .*malformed\.toml: not a TOML file \(.*line \d+.*\)\n$")
        self.assertFalse(os.path.exists(os.path.join(SCRATCH, "bad-malformed")))


class Failures(unittest.TestCase):
    """Cells that fail are recorded with their reason and stop no other."""

    def test_time_limit_and_full_disk(self):
        slow = script("slow-g++", "#!/bin/bash\n[[ $* == *-c* ]] && sleep 60\nexec g++ \"$@\"\n")
        out = os.path.join(SCRATCH, "failures")
        started = time.monotonic()
        done = corpus(matrix("slow", compilers=["g++", slow], machines=["x86_64-linux-gnu"], options=["-O1"],
                             programs=["bubble_sort"], remarks=False), out, "-j", "2", "--timeout", "8")
        self.assertLess(time.monotonic() - started, 50)
        self.assertEqual(done.returncode, 1, done.stdout + done.stderr)
        db = read_db(out)
        cells = {row["name"]: row for row in db.execute("SELECT * FROM cells")}
        self.assertEqual(cells["g++__x86_64-linux-gnu__O1"]["status"], "done")
        self.assertEqual(cells["slow-g++__x86_64-linux-gnu__O1"]["status"], "failed")
        self.assertEqual(cells["slow-g++__x86_64-linux-gnu__O1"]["reason"], "stopped at the time limit of 8 s")
        self.assertEqual(db.execute("SELECT COUNT(*) FROM binaries WHERE cell LIKE 'slow%'").fetchone()[0], 0)

        # A compiler missing for one machine, and a machine the other cannot
        # build for (no C++ library for 32-bit SPARC in Debian): recorded
        # failed with their reasons, the others made.
        cant = corpus(matrix("cannot", compilers=["g++", "clang++"], machines=["x86_64-linux-gnu", "sparc-linux-gnu"],
                             options=["-O1"], programs=["fib_loop"], remarks=False), out, "--record-missing")
        self.assertEqual(cant.returncode, 1, cant.stdout + cant.stderr)
        reasons = dict(db.execute("SELECT name, reason FROM cells WHERE name LIKE '%sparc%'"))
        self.assertEqual(reasons["g++__sparc-linux-gnu__O1"],
                         "no compiler sparc-linux-gnu-g++: Debian's package g++-sparc-linux-gnu brings it")
        self.assertRegex(reasons["clang++__sparc-linux-gnu__O1"], r"^1 of 1 not built; fib_loop: .*error")
        made = db.execute("SELECT status FROM cells WHERE name = 'clang++__x86_64-linux-gnu__O1'").fetchone()
        self.assertEqual(made[0], "done")

        # A cell whose folder fills up: failed with the reason, the database whole.
        disk = os.path.join(SCRATCH, "small-disk")
        os.makedirs(disk)
        if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=16k", "tmpfs", disk],
                          capture_output=True).returncode != 0:
            self.skipTest("no tmpfs can be mounted here for a full disk")
        try:
            full = corpus(matrix("full", compilers=["g++"], machines=["x86_64-linux-gnu"], options=["-O0", "-O2"],
                                 programs=["bubble_sort", "quick_sort"], remarks=False), out, "--work", disk)
        finally:
            subprocess.run(["umount", disk])
        self.assertEqual(full.returncode, 1, full.stdout + full.stderr)
        reasons = dict(db.execute("SELECT name, reason FROM cells WHERE name LIKE 'g++__%__O0' OR name LIKE "
                                  "'g++__%__O2'"))
        self.assertEqual(len(reasons), 2)
        for reason in reasons.values():
            self.assertIn("No space left on device", reason)
        self.assertEqual(db.execute("PRAGMA integrity_check").fetchone()[0], "ok")
        self.assertEqual(db.execute("SELECT COUNT(*) FROM binaries WHERE cell IN (SELECT name FROM cells WHERE "
                                    "status = 'failed')").fetchone()[0], 0)


class Resumed(unittest.TestCase):
    def test_an_interrupted_run_loses_nothing_finished(self):
        out = os.path.join(SCRATCH, "resumed")
        path = matrix("resumed", compilers=["g++"], machines=["x86_64-linux-gnu"], options=["-O0", "-O1", "-Os"],
                      programs=["bubble_sort", "fib_loop"], remarks=False)
        process = subprocess.Popen([CORPUS, path, out, "-j", "1"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                   text=True, start_new_session=True, env=ENVIRONMENT)
        first = process.stdout.readline()  # the count of cells to make
        self.assertIn("3 cells to make", first)
        line = process.stdout.readline()  # the first cell taken in
        self.assertRegex(line, r": done, 2 binaries")
        os.killpg(process.pid, signal.SIGKILL)
        process.wait()
        process.stdout.close()
        db = read_db(out)
        finished = [name for (name,) in db.execute("SELECT name FROM cells WHERE status = 'done'")]
        self.assertGreaterEqual(len(finished), 1)
        ids = {row[0]: row[1] for row in db.execute("SELECT path, id FROM binaries")}
        again = corpus(path, out, "-j", "1")
        self.assertEqual(again.returncode, 0, again.stdout + again.stderr)
        self.assertIn("(resuming)", again.stdout)
        self.assertIn("3 of 3 cells done", again.stdout)
        for name in finished:
            self.assertNotIn(name + ":", again.stdout.split("(resuming)")[-1])
        now = {row[0]: row[1] for row in db.execute("SELECT path, id FROM binaries")}
        self.assertEqual({path: now[path] for path in ids}, ids)
        self.assertEqual(len(now), 12)


class OverSsh(unittest.TestCase):
    """Two cells through an sshd on 127.0.0.1 that the test starts."""

    def setUp(self):
        self.home = tempfile.mkdtemp(prefix="sshd-", dir=SCRATCH)
        sshd = "/usr/sbin/sshd"
        if missing_tools(FOR_SSH):
            self.skipTest(f"{', '.join(missing_tools(FOR_SSH))} missing (Debian: openssh-server, rsync)")
        for key in ("host", "client"):
            subprocess.run(["ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-f", os.path.join(self.home, key)],
                           check=True)
        shutil.copy(os.path.join(self.home, "client.pub"), os.path.join(self.home, "authorized_keys"))
        with socket.socket() as probe:
            probe.bind(("127.0.0.1", 0))
            self.port = probe.getsockname()[1]
        config = os.path.join(self.home, "sshd_config")
        with open(config, "w") as f:
            f.write(f"Port {self.port}\nListenAddress 127.0.0.1\nHostKey {self.home}/host\n"
                    f"AuthorizedKeysFile {self.home}/authorized_keys\nPermitRootLogin prohibit-password\n"
                    f"PasswordAuthentication no\nKbdInteractiveAuthentication no\nUsePAM no\nStrictModes no\n"
                    f"PidFile {self.home}/sshd.pid\n")
        os.makedirs("/run/sshd", exist_ok=True)
        self.sshd = subprocess.Popen([sshd, "-D", "-f", config, "-E", os.path.join(self.home, "log")])
        self.ssh = (f"ssh -p {self.port} -i {self.home}/client -o StrictHostKeyChecking=no -o "
                    f"UserKnownHostsFile=/dev/null -o BatchMode=yes -o LogLevel=ERROR")
        for _ in range(50):
            if subprocess.run(self.ssh.split() + ["root@127.0.0.1", "true"], capture_output=True).returncode == 0:
                return
            time.sleep(0.1)
        self.sshd.kill()
        self.skipTest(f"sshd did not start on 127.0.0.1:{self.port}")

    def tearDown(self):
        self.sshd.terminate()
        self.sshd.wait()

    def test_two_cells_through_sshlogin(self):
        out = os.path.join(SCRATCH, "ssh")
        done = corpus(matrix("ssh", compilers=["g++", "clang++"], machines=["x86_64-linux-gnu"], options=["-O1"],
                             programs=["fib_loop", "bubble_sort"], remarks=False),
                      out, "--sshlogin", "1/root@127.0.0.1", "--ssh", self.ssh)
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        db = read_db(out)
        self.assertEqual(db.execute("SELECT COUNT(*) FROM cells WHERE status = 'done'").fetchone()[0], 2)
        self.assertEqual(db.execute("SELECT COUNT(*) FROM binaries WHERE verified = 1").fetchone()[0], 8)
        with open(os.path.join(out, "joblog")) as f:
            hosts = [line.split("\t")[1] for line in f.read().splitlines()[1:]]
        self.assertEqual(hosts, ["root@127.0.0.1"] * 2)
        for name in ("g++__x86_64-linux-gnu__O1", "clang++__x86_64-linux-gnu__O1"):
            self.assertTrue(os.path.exists(os.path.join(out, "cells", name, "fib_loop")))
        # parallel's --cleanup took the returned archives away on the host.
        self.assertFalse([name for name in os.listdir(os.path.expanduser("~/incoming"))
                          if name.endswith(".tar")] if os.path.isdir(os.path.expanduser("~/incoming")) else [])


if __name__ == "__main__":
    if sys.argv[1:2] == ["--check"] and len(sys.argv) == 3:
        shutil.rmtree(SCRATCH, ignore_errors=True)
        sys.exit(check_corpus(sys.argv[2]))
    ensure_packages()
    missing = missing_tools()
    if missing:
        print(f"skipped: {', '.join(missing)} not installed", file=sys.stderr)
        sys.exit(77)
    try:
        unittest.main()
    finally:
        subprocess.run(["umount", os.path.join(SCRATCH, "small-disk")], capture_output=True)
        shutil.rmtree(SCRATCH, ignore_errors=True)
