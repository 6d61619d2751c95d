#!/usr/bin/python3
"""tools/build end to end: at the suite's levels it makes the very files of
the project's CMake build, with an option set each program once, and a
build whose labels are not what it was given is refused."""

import filecmp
import json
import os
import stat
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BUILD = os.path.join(ROOT, "tools", "build")
BIN = os.environ.get("SUITE_BIN_DIR", os.path.join(ROOT, "build", "release", "bin"))


def build(*args):
    return subprocess.run(["/usr/bin/python3", BUILD, *args], capture_output=True, text=True, timeout=600)


def wrapper(folder, script):
    """A compiler of the test's own: a shell script in front of g++."""
    path = os.path.join(folder, "g++")
    with open(path, "w") as f:
        f.write("#!/bin/bash\n" + script)
    os.chmod(path, os.stat(path).st_mode | stat.S_IEXEC)
    return path


class Build(unittest.TestCase):
    def setUp(self):
        self.scratch = tempfile.TemporaryDirectory()
        self.addCleanup(self.scratch.cleanup)

    def test_the_levels_are_the_files_of_the_cmake_build(self):
        if not os.path.exists(os.path.join(BIN, "selection_sort_b2.remarks.jsonl")):
            self.skipTest(f"{BIN} is not the release build with its records")
        out = os.path.join(self.scratch.name, "levels")
        done = build("--werror", out)
        self.assertEqual(done.returncode, 0, done.stderr)
        made = sorted(f for f in os.listdir(out) if f != "manifest.jsonl")
        self.assertEqual(len(made), 153)  # 51 executables, their debug files and records
        _, differ, missing = filecmp.cmpfiles(BIN, out, made, shallow=False)
        self.assertEqual((differ, missing), ([], []))

    def test_an_option_set_builds_each_program_once(self):
        out = os.path.join(self.scratch.name, "set")
        done = build("--options", "-O1 -fno-inline", "--no-remarks", "--programs", "fib_loop,heap_sort", out)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertIn("built 2 of 2 executables", done.stdout)
        with open(os.path.join(out, "manifest.jsonl")) as f:
            entries = [json.loads(line) for line in f]
        self.assertEqual([(e["file"], e["build"], e["level"]) for e in entries],
                         [("fib_loop", None, "O1"), ("heap_sort", None, "O1")])
        self.assertIn("-fno-inline", entries[0]["flags"])
        self.assertFalse(os.path.exists(os.path.join(out, "fib_loop.remarks.jsonl")))

    def test_what_cannot_be_built_is_one_line(self):
        # (arguments, exit status, what the last line of standard error says)
        # A g++ that compiles at -O0 whatever it is asked, and one that
        # cannot compile fib_loop.
        lying = wrapper(self.scratch.name, 'exec g++ "$@" $([[ " $* " == *" -c "* ]] && echo -O0)\n')
        os.makedirs(os.path.join(self.scratch.name, "bad"))
        failing = wrapper(os.path.join(self.scratch.name, "bad"),
                          '[[ " $* " == *fib_loop.cpp* ]] && exit 1\nexec g++ "$@"\n')
        cases = [
            (["--cxx", "g++-0"], 2, "no compiler g++-0: Debian's package g++-0 brings it"),
            (["--cxx", "g++-0", "--target", "aarch64-linux-gnu"], 2,
             "no compiler aarch64-linux-gnu-g++-0: Debian's package g++-0-aarch64-linux-gnu brings it"),
            (["--programs", "fib_loop,no_such"], 1, "build: no program no_such in the suite"),
            (["--cxx", lying, "--options", "-O2", "--programs", "fib_loop"], 1,
             "fib_loop: level O0 read from DW_AT_producer, the cell gave O2"),
            (["--cxx", failing, "--options", "-O2", "--programs", "fib_loop,factorials"], 1, None),
        ]
        for n, (args, status, said) in enumerate(cases):
            with self.subTest(args=args):
                out = os.path.join(self.scratch.name, f"out{n}")
                done = build(*args, "--no-remarks", out)
                self.assertEqual(done.returncode, status, done.stderr)
                if said is not None:
                    self.assertIn(said, done.stderr.strip().splitlines()[-1])
                else:
                    self.assertIn("failed: fib_loop", done.stdout)
                    self.assertTrue(os.path.exists(os.path.join(out, "factorials")))
                    self.assertFalse(os.path.exists(os.path.join(out, "fib_loop")))
                self.assertNotIn("Traceback", done.stderr)


if __name__ == "__main__":
    unittest.main()
