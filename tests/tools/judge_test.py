#!/usr/bin/python3
"""tools/judge and tools/compare_reports end to end: a g++ that
miscompiles selection_sort and the true g++ at three option sets, each
report format against its shape, the failure report and its reproducing
command, compare_reports' three exits, --quick on the test build's folder
and on a copy with one broken executable, the randomised tests' saved
input, and --compare."""

import hashlib
import json
import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ET

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
JUDGE = [sys.executable, os.path.join(ROOT, "tools", "judge")]
COMPARE = [sys.executable, os.path.join(ROOT, "tools", "compare_reports")]
BIN = os.environ.get("SUITE_BIN_DIR", os.path.join(ROOT, "build", "release", "bin"))
TREE = os.environ.get("SUITE_BUILD_TREE", os.path.join(ROOT, "build", "release"))
sys.path.insert(0, os.path.join(ROOT, "tools"))
from engine import judge  # noqa: E402

# Three option sets: the last loads the code of the second (-g is always
# given), so its executables share the second's verdicts.
SETS = "-O0;-O2;-O2 -g"
PROGRAMS = ["array_compare", "parity_echo", "matrix_product", "selection_sort", "bubble_sort", "heap_sort",
            "quick_sort", "record_sort", "fib_table", "fib_loop", "fib_recursive", "factorials", "count_down_up",
            "complex_product", "number_game"]
# A g++ that skips the last pass of selection_sort's sort and is g++ for
# everything else, --version and -dumpmachine included.
MISCOMPILER = os.path.join(ROOT, "tests", "tools", "wrong-g++")


def run(command, **options):
    return subprocess.run(command, capture_output=True, text=True, cwd=ROOT, **options)


def read(path, binary=False):
    with open(path, "rb" if binary else "r") as file:
        return file.read()


def lines_of(path):
    return [json.loads(line) for line in read(path).splitlines()]


def loaded(path):
    return json.loads(read(path))


class Judged(unittest.TestCase):
    """The two runs of --cxx, made once for every test."""

    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.mkdtemp(prefix="judge-test-")
        cls.wrapper = MISCOMPILER
        cls.runs = {}
        for name, cxx in (("clean", "g++"), ("bad", cls.wrapper)):
            out = os.path.join(cls.scratch, name)
            files = {kind: os.path.join(cls.scratch, f"{name}.{kind}") for kind in ("lit", "lnt", "xml", "jsonl")}
            done = run(JUDGE + ["--cxx", cxx, "--options", SETS, "--out", out, "--lit-json", files["lit"],
                                "--lnt", files["lnt"], "--junit", files["xml"], "--report", files["jsonl"]])
            cls.runs[name] = (done, out, files)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.scratch, ignore_errors=True)

    def lit(self, name):
        return loaded(self.runs[name][2]["lit"])

    # --- the verdicts -------------------------------------------------------

    def test_exit_statuses_and_verdicts(self):
        for name, status, failing in (("clean", 0, set()),
                                      ("bad", 1, {f"{s} :: selection_sort" for s in ("-O0", "-O2", "-O2 -g")})):
            with self.subTest(run=name):
                done = self.runs[name][0]
                self.assertEqual(done.returncode, status, done.stdout + done.stderr)
                tests = self.lit(name)["tests"]
                self.assertEqual(len(tests), 3 * len(PROGRAMS))
                self.assertEqual({t["name"].split(" :: ", 1)[1] for t in tests if t["code"] == "FAIL"}, failing)

    def test_the_same_code_is_judged_once(self):
        records = [r for r in lines_of(self.runs["bad"][2]["jsonl"]) if r["record"] == "executable"]
        by_name = {(r["set"], r["file"]): r for r in records}
        for program in PROGRAMS:
            with self.subTest(program=program):
                first, second = by_name[("-O2", program)], by_name[("-O2 -g", program)]
                self.assertIsNone(first["shares_verdict_of"])
                self.assertEqual(second["shares_verdict_of"], f"-O2 :: {program}")
                self.assertEqual(second["verdict"], first["verdict"])
                self.assertEqual(second["metrics"]["hash"], first["metrics"]["hash"])
                self.assertNotEqual(by_name[("-O0", program)]["metrics"]["hash"], first["metrics"]["hash"])
        summary = lines_of(self.runs["bad"][2]["jsonl"])[-1]
        self.assertEqual((summary["executables"], summary["judged"]), (45, 30))
        self.assertIn("'=': the code of an executable judged before", self.runs["bad"][0].stdout)

    # --- the report formats -------------------------------------------------

    def test_lit_json_shape(self):
        data = self.lit("bad")
        self.assertEqual(sorted(data), ["__version__", "elapsed", "tests"])
        self.assertTrue(all(isinstance(n, int) for n in data["__version__"]))
        self.assertIsInstance(data["elapsed"], float)
        for test in data["tests"]:
            with self.subTest(test=test["name"]):
                self.assertEqual(sorted(test), ["code", "elapsed", "metrics", "name", "output"])
                self.assertRegex(test["name"], r"^console-suite :: -O(0|2|2 -g) :: [a-z_]+$")
                self.assertIn(test["code"], ("PASS", "FAIL"))
                self.assertEqual(sorted(test["metrics"]), ["compile_time", "exec_time", "hash", "size..text"])
                metrics = test["metrics"]
                self.assertTrue(0 < metrics["exec_time"] < 1 and 0 < metrics["compile_time"] < 120)
                self.assertIsInstance(metrics["size..text"], int)
                self.assertRegex(metrics["hash"], r"^[0-9a-f]{32}$")
                self.assertEqual(test["code"] == "FAIL", "at byte" in test["output"])

    def test_size_of_text_is_the_section_headers(self):
        tests = {t["name"]: t for t in self.lit("clean")["tests"]}
        out = self.runs["clean"][1]
        for program in ("fib_loop", "quick_sort", "number_game"):
            sizes = run(["llvm-size-16", "-A", os.path.join(out, "O2", program)]).stdout
            text = int(re.search(r"^\.text\s+(\d+)", sizes, re.M).group(1))
            self.assertEqual(tests[f"console-suite :: -O2 :: {program}"]["metrics"]["size..text"], text)

    def test_hash_changes_where_the_code_does(self):
        clean = {t["name"]: t["metrics"]["hash"] for t in self.lit("clean")["tests"]}
        bad = {t["name"]: t["metrics"]["hash"] for t in self.lit("bad")["tests"]}
        changed = {name for name in clean if clean[name] != bad[name]}
        self.assertEqual(changed, {f"console-suite :: {s} :: selection_sort" for s in ("-O0", "-O2", "-O2 -g")})

    def test_lnt_shape(self):
        data = loaded(self.runs["bad"][2]["lnt"])
        self.assertEqual(data["format_version"], "2")
        self.assertIsInstance(data["machine"]["name"], str)
        self.assertEqual(data["machine"]["compiler"], "GNU " + run(["g++", "-dumpfullversion"]).stdout.strip())
        for key in ("start_time", "end_time"):
            self.assertRegex(data["run"][key], r"^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d$")
        self.assertLessEqual(data["run"]["start_time"], data["run"]["end_time"])
        self.assertEqual(data["run"]["compiler_version"], run(["g++", "--version"]).stdout.splitlines()[0])
        self.assertEqual(len(data["tests"]), 45)
        for test in data["tests"]:
            with self.subTest(test=test["name"]):
                self.assertRegex(test["name"], r"^console-suite\.-O(0|2|2 -g)\.[a-z_]+$")
                self.assertEqual(sorted(test), ["code_size", "compile_time", "execution_status", "execution_time",
                                                "hash", "name"])
                self.assertEqual(len(test["execution_time"]), judge.SAMPLE_RUNS)
                self.assertTrue(all(isinstance(t, float) and t > 0 for t in test["execution_time"]))
                self.assertTrue(isinstance(test["code_size"][0], int) and isinstance(test["compile_time"][0], float))
                self.assertEqual(test["execution_status"], int(test["name"].endswith(".selection_sort")))

    def test_junit_shape(self):
        suites = ET.parse(self.runs["bad"][2]["xml"]).getroot()
        self.assertEqual((suites.tag, suites.get("tests"), suites.get("failures")), ("testsuites", "45", "3"))
        self.assertEqual([s.get("name") for s in suites], [f"console-suite :: {s}" for s in ("-O0", "-O2", "-O2 -g")])
        for suite in suites:
            cases = suite.findall("testcase")
            self.assertEqual([c.get("name") for c in cases], PROGRAMS)
            failed = [c for c in cases if c.find("failure") is not None]
            self.assertEqual([c.get("name") for c in failed], ["selection_sort"])
            failure = failed[0].find("failure")
            self.assertIn("at byte", failure.get("message"))
            self.assertIn("reproduce:", failure.text)

    # --- the failure report -------------------------------------------------

    def test_failure_report_files_a_bug(self):
        records = {(r["set"], r["file"]): r for r in lines_of(self.runs["bad"][2]["jsonl"]) if r["record"] == "executable"}
        clean = {(r["set"], r["file"]): r for r in lines_of(self.runs["clean"][2]["jsonl"]) if r["record"] == "executable"}
        for options in ("-O0", "-O2"):
            with self.subTest(options=options):
                report = records[(options, "selection_sort")]["failure"]
                compile_words = shlex.split(report["compile_command"])
                self.assertEqual(compile_words[0], self.wrapper)
                for word in (f"-I{ROOT}/common", "-std=c++20", options, "-c", f"{ROOT}/sorting/selection_sort.cpp"):
                    self.assertIn(word, compile_words)
                self.assertEqual(report["source"], "sorting/selection_sort.cpp")
                self.assertEqual(report["compiler"]["version_line"], run(["g++", "--version"]).stdout.splitlines()[0])
                self.assertEqual(report["fails_and_passes"], "fails at every option set")
                self.assertTrue(report["input"].startswith(f"{ROOT}/tests/golden/selection_sort/"))
                self.assertNotEqual(report["expected_bytes"], report["actual_bytes"])
                self.assertEqual((report["expected_status"], report["actual_status"]), (0, 0))
                kept = report["kept_executable"]
                self.assertTrue(kept.startswith(self.runs["bad"][1] + "/failures/"))
                # The command shows the difference with the kept executable
                # and none with the true compiler's build.
                self.assertNotEqual(run(["bash", "-c", report["reproduce"]]).returncode, 0)
                sound = clean[(options, "selection_sort")]["path"]
                self.assertEqual(run(["bash", "-c", report["reproduce"].replace(kept, sound)]).returncode, 0)
                self.assertIn(f"FAIL {options} :: selection_sort: ", self.runs["bad"][0].stdout)
        self.assertIsNone(records[("-O2", "fib_loop")]["failure"])

    def test_fails_at_wording(self):
        for fails, passes, words in ((["-O2"], ["-O0", "-O1"], "fails at -O2 only"),
                                     (["-O0", "-O2"], [], "fails at every option set"),
                                     (["-O2", "-O3"], ["-O0"], "fails at -O2, -O3; passes at -O0"),
                                     ([], ["-O0"], "passes at every option set")):
            self.assertEqual(judge.fails_at(fails, passes), words)

    # --- compare_reports ----------------------------------------------------

    def edited(self, name, change):
        """A copy of the clean lit report with `change` made to its tests."""
        data = self.lit("clean")
        change(data["tests"])
        path = os.path.join(self.scratch, f"{name}.json")
        with open(path, "w") as file:
            json.dump(data, file)
        return path

    def test_compare_reports(self):
        clean, bad = self.runs["clean"][2], self.runs["bad"][2]

        def grow(factor):
            def change(tests):
                tests[0]["metrics"]["size..text"] = int(tests[0]["metrics"]["size..text"] * factor)
            return change

        def slower(seconds):
            def change(tests):
                tests[1]["metrics"]["exec_time"] += seconds
            return change

        def new_failure(tests):
            tests.append({"name": "console-suite :: -O3 :: fib_loop", "code": "FAIL", "elapsed": 0.1, "output": "",
                          "metrics": {}})

        not_json = os.path.join(self.scratch, "not.json")
        with open(not_json, "w") as file:
            file.write("{}\n")
        cases = [
            (clean["lit"], bad["lit"], 1, ["now failing (passed before): 3", "    -O2 :: selection_sort"]),
            (clean["lnt"], bad["lnt"], 1, ["now failing (passed before): 3"]),
            (clean["lnt"], bad["lit"], 1, ["    -O2 -g :: selection_sort"]),
            (bad["lit"], clean["lit"], 0, ["passing again (failed before): 3", "no regression"]),
            (clean["lit"], clean["lnt"], 0, ["now failing (passed before): none", "no regression"]),
            (clean["lit"], self.edited("gone", lambda tests: tests.pop()), 1, ["disappeared: 1"]),
            (clean["lit"], self.edited("new", new_failure), 1, ["new tests that fail: 1", "    -O3 :: fib_loop"]),
            (clean["lit"], self.edited("grown", grow(1.2)), 1, ["(+20.0 %)"]),
            (clean["lit"], self.edited("little", grow(1.02)), 0, ["no regression"]),
            (clean["lit"], self.edited("slower", slower(0.005)), 1, ["exec_time", "grown beyond the thresholds "
                                                                   "(size..text 5 %, exec_time 25 % and 0.001 s): 1"]),
            (clean["lit"], self.edited("noise", slower(0.0004)), 0, ["no regression"]),
            (clean["lit"], os.path.join(self.scratch, "missing.json"), 2, ["no such file"]),
            (bad["xml"], clean["lit"], 2, ["neither lit's JSON nor an LNT report"]),
            (clean["jsonl"], clean["lit"], 2, ["neither lit's JSON nor an LNT report"]),
            (not_json, clean["lit"], 2, ["neither lit's JSON"]),
        ]
        for old, new, status, wanted in cases:
            with self.subTest(old=os.path.basename(old), new=os.path.basename(new)):
                done = run(COMPARE + [old, new])
                self.assertEqual(done.returncode, status, done.stdout + done.stderr)
                said = done.stdout if status != 2 else done.stderr
                for words in wanted:
                    self.assertIn(words, said)
                if status == 2:
                    self.assertEqual(len(done.stderr.splitlines()), 1)
                    self.assertEqual(done.stdout, "")

    # --- --compare ----------------------------------------------------------

    def test_side_by_side_of_reports(self):
        done = run(JUDGE + ["--compare", self.runs["clean"][2]["jsonl"], self.runs["bad"][2]["jsonl"],
                            "--programs", "fib_loop", "--no-callgrind"])
        self.assertEqual(done.returncode, 0, done.stderr)
        columns = [line.split(": ", 1)[1].split(" (")[0] for line in done.stdout.splitlines() if line[1:3] == ": "]
        self.assertEqual(columns, [os.path.join(self.runs[name][1], slug) for name in ("clean", "bad")
                                   for slug in ("O0", "O2", "O2_g")])
        self.assertIn("not counted", done.stdout)

    def test_side_by_side(self):
        if not shutil.which("valgrind"):
            self.skipTest("valgrind is not installed")
        folders = [os.path.join(self.runs[name][1], "O2") for name in ("clean", "bad")]
        done = run(JUDGE + ["--compare", *folders, "--programs", "selection_sort,fib_loop"])
        self.assertEqual(done.returncode, 0, done.stderr)
        rows = {}
        for line in done.stdout.splitlines():
            words = re.split(r"\s{2,}", line.strip())
            if words[0] in ("selection_sort", "fib_loop"):
                program = words[0]
                words = words[1:]
            if len(words) == 3 and words[0] in ("instructions", "main", "fibonacci_iterative", "sort_selection"):
                rows[(program, words[0])] = words[1:]
        self.assertIn("on n = 1000000", done.stdout)
        fib = rows[("fib_loop", "instructions")]
        self.assertEqual(fib[0], fib[1])  # the same code on the same input
        self.assertRegex(fib[0], r"^\d+\.\d\d M$")
        sort = rows[("selection_sort", "instructions")]
        self.assertRegex(sort[0], r"^\d{1,3}(,\d{3})*$")
        self.assertGreater(int(sort[0].replace(",", "")), int(sort[1].replace(",", "")))  # one pass fewer
        # Where each routine went, as the folder's manifest has it.
        manifest = {e["file"]: e for e in lines_of(os.path.join(folders[0], "manifest.jsonl"))}
        for program, routine in (("fib_loop", "fibonacci_iterative"), ("fib_loop", "main"),
                                 ("selection_sort", "sort_selection")):
            entry = next(r for r in manifest[program]["routines"] if r["name"] == routine)
            shown = rows[(program, routine)][0]
            if entry["function"]:
                self.assertTrue(shown.startswith(f"{entry['function']['size']} B"), shown)
            for copy in entry["inlined"]:
                self.assertIn(f"inlined into {copy['into']} (", shown)
            self.assertTrue(entry["function"] or entry["inlined"], f"{program} {routine} gone at -O2")


class Quick(unittest.TestCase):
    """--quick on the test build's folder and on copies of it."""

    def setUp(self):
        if not os.path.isfile(os.path.join(BIN, "fib_loop_b0")):
            self.skipTest(f"no built folder {BIN}")
        self.scratch = tempfile.mkdtemp(prefix="judge-quick-")

    def tearDown(self):
        shutil.rmtree(self.scratch, ignore_errors=True)

    def broken_copy(self):
        """The folder's executables, linked, with selection_sort_b1 printing
        its numbers in the order read: the golden sorts see it."""
        folder = os.path.join(self.scratch, "bin")
        os.makedirs(folder)
        for file in os.listdir(BIN):
            if re.fullmatch(r"[a-z_]+_b\d", file):
                os.symlink(os.path.join(BIN, file), os.path.join(folder, file))
        os.remove(os.path.join(folder, "selection_sort_b1"))
        shutil.copy(os.path.join(BIN, "parity_echo_b1"), os.path.join(folder, "selection_sort_b1"))
        return folder

    def test_release_folder_and_one_broken(self):
        count = len([f for f in os.listdir(BIN) if re.fullmatch(r"[a-z_]+_b\d", f)])
        for name, folder, status, failed in (("release", BIN, 0, []), ("broken", self.broken_copy(), 1,
                                                                          ["selection_sort_b1"])):
            with self.subTest(folder=name):
                report = os.path.join(self.scratch, f"{name}.jsonl")
                done = run(JUDGE + [folder, "--quick", "--report", report, "--keep", os.path.join(self.scratch, "kept")])
                self.assertEqual(done.returncode, status, done.stdout + done.stderr)
                lines = lines_of(report)
                self.assertEqual([r["file"] for r in lines[:-1] if r["verdict"] != "passed"], failed)
                summary = lines[-1]
                self.assertEqual((summary["executables"], summary["runs_compared"]), (count, 683 if count == 51 else
                                                                                      summary["runs_compared"]))
                self.assertIn(f"runs compared with the golden files: {summary['runs_compared']}", done.stdout)
        # Its option set is what the copy's .suite.flags records.
        self.assertRegex(done.stdout, r"FAIL -O\d :: selection_sort_b1: 13 of 13 runs differ")
        self.assertRegex(done.stdout, r"fails at b1 \(-O\d\) only")

    def test_no_exec_time_under_a_runner(self):
        folder = os.path.join(self.scratch, "one")
        os.makedirs(folder)
        shutil.copy(os.path.join(BIN, "fib_loop_b2"), folder)
        lit = os.path.join(self.scratch, "one.json")
        for runner, measured in (("", True), ("env", False)):
            with self.subTest(runner=runner):
                done = run(JUDGE + [folder, "--quick", "--runner", runner, "--lit-json", lit])
                self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
                (test,) = loaded(lit)["tests"]
                self.assertEqual("exec_time" in test["metrics"], measured)
                self.assertEqual("exec_time not measured: run under env" in test["output"], not measured)

    def test_another_machine_without_a_runner_is_unsupported(self):
        folder = os.path.join(self.scratch, "foreign")
        os.makedirs(folder)
        data = bytearray(read(os.path.join(BIN, "fib_loop_b2"), True))
        data[18:20] = (183).to_bytes(2, "little")  # EM_AARCH64
        path = os.path.join(folder, "fib_loop_b2")
        with open(path, "wb") as file:
            file.write(data)
        os.chmod(path, 0o755)
        reports = {kind: os.path.join(self.scratch, f"foreign.{kind}") for kind in ("lit", "lnt", "xml")}
        done = run(JUDGE + [folder, "--quick", "--lit-json", reports["lit"], "--lnt", reports["lnt"],
                            "--junit", reports["xml"]])
        self.assertEqual(done.returncode, 1, done.stdout + done.stderr)
        self.assertIn("UNSUPPORTED fib_loop_b2: built for another machine (ELF machine 183)", done.stdout)
        (test,) = loaded(reports["lit"])["tests"]
        self.assertEqual((test["code"], "exec_time" in test["metrics"]), ("UNSUPPORTED", False))
        (entry,) = loaded(reports["lnt"])["tests"]
        self.assertNotIn("execution_status", entry)
        case = ET.parse(reports["xml"]).getroot().find("testsuite/testcase")
        self.assertIsNotNone(case.find("skipped"))
        # A test that passed before and cannot run now is a regression.
        passed = os.path.join(self.scratch, "passed.json")
        with open(passed, "w") as file:
            json.dump({"__version__": [16, 0, 0], "elapsed": 1.0, "tests": [dict(test, code="PASS")]}, file)
        done = run(COMPARE + [passed, reports["lit"]])
        self.assertEqual(done.returncode, 1, done.stdout)
        self.assertIn("unsupported now (passed before): 1", done.stdout)

    def test_bad_inputs_are_one_line(self):
        for argv in ([os.path.join(self.scratch, "none"), "--quick"], [self.scratch, "--quick"],
                     ["--cxx", "no-such-g++", "--options", "-O2"], ["--compare", os.path.join(self.scratch, "x")]):
            with self.subTest(argv=argv[:2]):
                done = run(JUDGE + argv)
                self.assertEqual(done.returncode, 2, done.stdout + done.stderr)
                self.assertEqual(len(done.stderr.splitlines()), 1, done.stderr)
                self.assertTrue(done.stderr.startswith("judge: "))

    def test_randomised_test_saves_its_input(self):
        tests = os.path.join(TREE, "tests", "random_sorting_tests")
        if not os.path.isfile(tests):
            self.skipTest(f"no {tests}")
        folder = os.path.join(self.scratch, "random")
        os.makedirs(folder)
        shutil.copy(os.path.join(BIN, "parity_echo_b0"), os.path.join(folder, "selection_sort_b0"))
        saved = os.path.join(self.scratch, "saved")
        env = dict(os.environ, SUITE_BIN_DIR=folder, SUITE_OWN_BUILD="0", SUITE_FAILURE_DIR=saved)
        done = run([tests, "--gtest_filter=*SelectionSort*/selection_sort_b0"], env=env)
        self.assertNotEqual(done.returncode, 0)
        base = os.path.join(saved, "selection_sort_b0.random")
        self.assertIn(f"saved as {base}.in", done.stdout)
        for executable, same in ((os.path.join(folder, "selection_sort_b0"), False),
                                 (os.path.join(BIN, "selection_sort_b0"), True)):
            with open(f"{base}.in", "rb") as stdin:
                output = subprocess.run([executable], stdin=stdin, capture_output=True).stdout
            self.assertEqual(output == read(f"{base}.out", True), same)
        self.assertEqual(read(f"{base}.status"), "0\n")


class Pieces(unittest.TestCase):
    def test_option_sets_and_their_folders(self):
        sets = judge.option_sets("-O0; -O3  -funroll-loops;;-O2 -flto;-Os;")
        self.assertEqual(sets, ["-O0", "-O3 -funroll-loops", "-O2 -flto", "-Os"])
        self.assertEqual([judge.option_slug(s) for s in sets], ["O0", "O3_funroll-loops", "O2_flto", "Os"])

    def test_emulators_of_triples(self):
        for triple, emulator in (("aarch64-linux-gnu", "qemu-aarch64"), ("i686-linux-gnu", "qemu-i386"),
                                 ("arm-linux-gnueabihf", "qemu-arm"), ("powerpc64le-linux-gnu", "qemu-ppc64le"),
                                 ("powerpc-linux-gnu", "qemu-ppc"), ("s390x-linux-gnu", "qemu-s390x")):
            self.assertEqual(judge.qemu_runner(triple), [emulator, "-L", f"/usr/{triple}"])

    def test_hash_ignores_what_names_the_build(self):
        if not os.path.isfile(os.path.join(BIN, "fib_loop_b2")):
            self.skipTest(f"no built folder {BIN}")
        with tempfile.TemporaryDirectory() as scratch:
            copy = os.path.join(scratch, "fib_loop_b2")
            # Another debug link and flags record: the same code.
            subprocess.run(["objcopy", "--remove-section=.suite.flags", "--add-section=.suite.flags=/dev/null",
                            os.path.join(BIN, "fib_loop_b2"), copy], check=True)
            self.assertNotEqual(hashlib.md5(read(copy, True)).hexdigest(),
                                hashlib.md5(read(os.path.join(BIN, "fib_loop_b2"), True)).hexdigest())
            self.assertEqual(judge.stripped_md5(copy, "objcopy"),
                             judge.stripped_md5(os.path.join(BIN, "fib_loop_b2"), "objcopy"))
            self.assertNotEqual(judge.stripped_md5(os.path.join(BIN, "fib_loop_b0"), "objcopy"),
                                judge.stripped_md5(os.path.join(BIN, "fib_loop_b2"), "objcopy"))


if __name__ == "__main__":
    unittest.main()
