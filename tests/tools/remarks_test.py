#!/usr/bin/python3
"""tools/remarks on records that g++ and clang++ write for a few lines of
C++ compiled here, at two paths: what the lines say, that both checkouts
give the same bytes, and that a bad record is one line and no file."""

import gzip
import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
REMARKS = os.path.join(ROOT, "tools", "remarks")

HEADER = """#pragma once
namespace {
inline int twice(int x) { return 2 * x; }
}
"""
SOURCE = """#include <cstdio>
#include "inc/twice.hpp"
namespace {
__attribute__((noinline)) int sum(const int* values, int count) {
  int total = 0;
  for (int i = 0; i < count; ++i) total += values[i] * values[i];
  return total;
}
__attribute__((noinline)) void triple(int* out, const int* in) {
  out[0] = in[0] * 3; out[1] = in[1] * 3; out[2] = in[2] * 3; out[3] = in[3] * 3;
}
}
int main() {
  int values[64];
  for (int i = 0; i < 64; ++i) values[i] = twice(i);
  triple(values, values + 4);
  std::printf("%d\\n", sum(values, 64));
}
"""
# compiler, where the record lies beside the object, whether the source
# names are prefix-mapped as the project's builds do, and a remark each
# must hold: (kind, pass, function, file, message start).
COMPILERS = [
    ("g++", "prog.cpp.cpp.opt-record.json.gz", False,
     ("passed", "einline", "main", "sub/prog.cpp", "Inlining int {anonymous}::twice(int) into int main()")),
    ("g++", "prog.cpp.cpp.opt-record.json.gz", True,
     ("passed", "einline", "main", "sub/prog.cpp", "Inlining int {anonymous}::twice(int) into int main()")),
    ("clang++", "prog.cpp.opt.yaml", False,
     ("passed", "inline", "main", "sub/prog.cpp", "'{anonymous}::twice(int)' inlined into 'main'")),
    ("clang++", "prog.cpp.opt.yaml", True,
     ("passed", "inline", "main", "sub/prog.cpp", "'{anonymous}::twice(int)' inlined into 'main'")),
]
FIELDS = ["kind", "pass", "function", "file", "line", "column", "message"]


def run_remarks(records, output, source, build):
    return subprocess.run([sys.executable, REMARKS, "--source-root", source, "--build-root", build,
                           "--output", output, *records], capture_output=True, text=True)


class Checkout:
    """The source at `top`/src, compiled in `top`/src/build/CMakeFiles/prog.dir."""

    def __init__(self, top):
        self.source = os.path.join(top, "src")
        self.build = os.path.join(self.source, "build")
        self.objects = os.path.join(self.build, "CMakeFiles", "prog.dir")
        os.makedirs(os.path.join(self.source, "inc"))
        os.makedirs(os.path.join(self.source, "sub"))
        os.makedirs(self.objects)
        with open(os.path.join(self.source, "inc", "twice.hpp"), "w") as f:
            f.write(HEADER)
        with open(os.path.join(self.source, "sub", "prog.cpp"), "w") as f:
            f.write(SOURCE)

    def compile(self, cxx, prefix_maps):
        maps = [f"-ffile-prefix-map={self.source}=.", f"-ffile-prefix-map={self.build}=."] if prefix_maps else []
        subprocess.run([cxx, "-std=c++20", "-O2", "-g", *maps, "-fsave-optimization-record", "-I", self.source,
                        "-c", os.path.join(self.source, "sub", "prog.cpp"), "-o",
                        os.path.join(self.objects, "prog.cpp.o")], cwd=self.build, check=True)


class Normalised(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.mkdtemp(prefix="remarks-test.")
        cls.checkouts = [Checkout(os.path.join(cls.scratch, "one")),
                         Checkout(os.path.join(cls.scratch, "another", "longer", "path"))]

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.scratch)

    def test_each_compiler(self):
        for cxx, record, prefix_maps, expected in COMPILERS:
            with self.subTest(cxx=cxx, prefix_maps=prefix_maps):
                if shutil.which(cxx) is None:
                    self.skipTest(f"no {cxx}")
                written = []
                for checkout in self.checkouts:
                    checkout.compile(cxx, prefix_maps)
                    output = os.path.join(checkout.build, "prog.remarks.jsonl")
                    done = run_remarks([os.path.join(checkout.objects, record)], output,
                                       checkout.source, checkout.build)
                    self.assertEqual((done.returncode, done.stderr), (0, ""))
                    with open(output, "rb") as f:
                        written.append(f.read())
                self.assertEqual(written[0], written[1], "two checkouts wrote other remarks")
                self.assertNotIn(self.scratch.encode(), written[0])
                remarks = [json.loads(line) for line in written[0].decode().splitlines()]
                self.assertTrue(all(list(r) == FIELDS for r in remarks))
                self.assertTrue({r["kind"] for r in remarks} <= {"passed", "missed", "analysis"})
                self.assertFalse([r for r in remarks if "\n" in r["message"] or r["pass"].startswith("0x")
                                  or "0x" in r["message"] or "_Z" in (r["function"] or "") + r["message"]])
                key = [(r["file"] or "", r["line"], r["column"], r["kind"], r["pass"], r["function"] or "",
                        r["message"]) for r in remarks]
                self.assertEqual(key, sorted(key))
                self.assertIn(expected, [(r["kind"], r["pass"], r["function"], r["file"],
                                          r["message"][:len(expected[4])]) for r in remarks])
                # The loop of sum() lies in a function of its own (g++'s a
                # clone of it), named as demangled.
                self.assertTrue({r["function"].split(" [clone")[0] for r in remarks
                                 if r["file"] == "sub/prog.cpp" and r["line"] == 6}
                                == {"{anonymous}::sum(int const*, int)"})
                self.assertTrue({r["file"] for r in remarks} <= {None, "sub/prog.cpp", "inc/twice.hpp"}
                                | {r["file"] for r in remarks if r["file"] and r["file"].startswith("/usr/")})

    def test_a_folder_stands_for_its_records(self):
        # Both compilers' records in the folder a link with -flto writes to.
        checkout = self.checkouts[0]
        for cxx, _, _, _ in COMPILERS:
            if shutil.which(cxx) is None:
                self.skipTest(f"no {cxx}")
            checkout.compile(cxx, True)
        records = sorted(os.path.join(checkout.objects, name) for name in os.listdir(checkout.objects)
                         if not name.endswith(".o"))
        folder = os.path.join(checkout.build, "link-records")
        os.makedirs(folder)
        for record in records:
            shutil.copy(record, folder)
        written = []
        for given in (records, [folder]):
            output = os.path.join(checkout.build, "prog.remarks.jsonl")
            self.assertEqual(run_remarks(given, output, checkout.source, checkout.build).returncode, 0)
            with open(output) as f:
                written.append(f.read())
        self.assertEqual(written[0], written[1])
        self.assertTrue({json.loads(line)["pass"] for line in written[0].splitlines()} >= {"einline", "inline"})


class Refused(unittest.TestCase):
    """A bad record: one line on stderr, a non-zero exit, the output as it was."""

    def test_bad_records(self):
        if shutil.which("g++") is None:
            self.skipTest("no g++")
        with tempfile.TemporaryDirectory(prefix="remarks-test.") as scratch:
            checkout = Checkout(scratch)
            checkout.compile("g++", True)
            with open(os.path.join(checkout.objects, "prog.cpp.cpp.opt-record.json.gz"), "rb") as f:
                real = f.read()
            header, passes, records = json.loads(gzip.decompress(real))
            records[0]["pass"] = "0x1"
            cases = [
                ("an executable", b"\x7fELF\x02\x01\x01" + bytes(64)),
                ("g++'s record cut short", real[:len(real) // 2]),
                ("gzip of other JSON", gzip.compress(b'{"records": []}')),
                ("a record of no pass", gzip.compress(json.dumps([header, passes, records]).encode())),
                ("a tag clang does not write", b"--- !Bogus\nPass: inline\nName: X\n...\n"),
                ("YAML cut short", b"--- !Passed\nPass: inline\nArgs:\n  - String: 'a\n"),
                ("an argument that is not a mapping", b"--- !Missed\nPass: licm\nArgs: [ text ]\n...\n"),
                ("a line that is no number", b"--- !Passed\nPass: gvn\nDebugLoc: { File: a.cpp, Line: x }\n...\n"),
            ]
            output = os.path.join(scratch, "prog.remarks.jsonl")
            for name, data in cases + [("a missing file", None)]:
                with self.subTest(name):
                    with open(output, "w") as f:
                        f.write("finished before\n")
                    record = os.path.join(scratch, "bad.record")
                    if os.path.exists(record):
                        os.unlink(record)
                    if data is not None:
                        with open(record, "wb") as f:
                            f.write(data)
                    done = run_remarks([record], output, checkout.source, checkout.build)
                    self.assertNotEqual(done.returncode, 0)
                    self.assertEqual(len(done.stderr.splitlines()), 1, done.stderr)
                    self.assertTrue(done.stderr.startswith("remarks: "), done.stderr)
                    with open(output) as f:
                        self.assertEqual(f.read(), "finished before\n")
                    self.assertEqual([n for n in os.listdir(scratch) if n.endswith(".part")], [])


if __name__ == "__main__":
    unittest.main()
