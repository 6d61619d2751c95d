"""The judge of folders of the suite's executables: every build of a
program must give, for every golden dialogue and sample of the program, the
golden bytes and exit status.

quick() makes those runs alone (tools/judge --quick, the corpus); compare()
also compares the runs of several folders with each other (tools/judge
compare, tests/compare_builds.sh); report() turns what ctest and compare left
into one line per program for people and one JSON line per executable and
a summary for tools (tools/judge DIR, tests/cross.sh)."""

import argparse
import concurrent.futures
import functools
import hashlib
import json
import os
import platform
import re
import shlex
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import xml.etree.ElementTree as ET
from pathlib import Path

from .programs import ROOT, parse_executable, programs

# Longer than any run of a sound build takes under the slowest emulator; a
# build that loops must not hold the judgement up forever.
RUN_TIMEOUT = 300
# Bytes shown before and from the first byte that differs.
BEFORE, AFTER = 12, 20
EXECUTABLE_NAME = re.compile(r"(?<![A-Za-z0-9_])([a-z][a-z0-9_]*_b[0-9]+)(?![A-Za-z0-9_])")


# --- the suite -------------------------------------------------------------

def suite_executables():
    """(file, program, build) of every executable, in the order of the
    suite_program(...) lines of CMakeLists.txt."""
    return [(file, program.name, build) for program in programs() for file, build, _ in program.builds]


def inputs_of(program):
    """The golden inputs of a program in name order, then its sample."""
    return sorted((ROOT / "tests" / "golden" / program).glob("*.in")) + [ROOT / "samples" / f"{program}.in"]


def shown_path(path):
    """A path below the source tree relative to it, others as they are."""
    path = Path(path)
    try:
        return str(path.relative_to(ROOT))
    except ValueError:
        return str(path)


def problem_of(path):
    """None for an executable file; "missing" or "not executable" otherwise."""
    if not os.path.lexists(path):
        return "missing"
    if not (os.path.isfile(path) and os.access(path, os.X_OK)):
        return "not executable"
    return None


# --- comparing runs --------------------------------------------------------

def escaped(data):
    """Bytes as readable text: printable ASCII as it is, everything else as
    a C escape (\\n, \\t, \\r, \\\\, \\xNN)."""
    text = []
    for byte in data:
        char = chr(byte)
        if char == "\\":
            text.append("\\\\")
        elif char in "\n\t\r":
            text.append({"\n": "\\n", "\t": "\\t", "\r": "\\r"}[char])
        elif 32 <= byte < 127:
            text.append(char)
        else:
            text.append(f"\\x{byte:02x}")
    return "".join(text)


def first_differing_byte(expected, actual):
    """Offset from 0 of the first byte where two outputs differ, one that
    ends counting as differing from the other; None when they are alike."""
    common = min(len(expected), len(actual))
    at = 0
    step = 4096
    while at < common and expected[at:at + step] == actual[at:at + step]:
        at += step
    at = min(at, common)
    while at < common and expected[at] == actual[at]:
        at += 1
    if at == common and len(expected) == len(actual):
        return None
    return at


def status_text(status):
    return f"exit status {status}" if isinstance(status, int) else status


def difference(expected, expected_status, actual, actual_status):
    """How a run differs from what it is compared with, as a dict with the
    first differing byte (counted from 1; None when only the status differs)
    and the bytes of each side around it; None when they are alike."""
    at = first_differing_byte(expected, actual)
    if at is None and expected_status == actual_status:
        return None
    found = {"offset_from_1": None, "excerpt_from_1": None, "expected": None, "actual": None,
             "expected_size": len(expected), "actual_size": len(actual),
             "expected_status": expected_status, "actual_status": actual_status}
    if at is not None:
        start = max(0, at - BEFORE)
        found.update(offset_from_1=at + 1, excerpt_from_1=start + 1,
                     expected=escaped(expected[start:at + AFTER]), actual=escaped(actual[start:at + AFTER]))
    return found


def described(found):
    """One difference in words, as compare prints it."""
    parts = []
    if found["offset_from_1"] is not None:
        start, at = found["excerpt_from_1"], found["offset_from_1"]

        def side(size, excerpt):
            # In double quotes (the excerpt escapes everything but them), and
            # marked where the output ends within it.
            ends = " (end)" if at - 1 + AFTER >= size else ""
            return '"' + excerpt.replace('"', '\\"') + '"' + ends

        parts.append(f"at byte {at}" + (f" (shown from byte {start})" if start < at else "") + ": "
                     + side(found["actual_size"], found["actual"]) + " instead of "
                     + side(found["expected_size"], found["expected"]))
    if found["expected_status"] != found["actual_status"]:
        parts.append(f"{status_text(found['actual_status'])} instead of {status_text(found['expected_status'])}")
    return "; ".join(parts)


def run_once(command, input_path, output_path):
    """Runs a command with the input on standard input and standard output
    and error into one file; returns its status as a shell gives it (128 +
    the signal that ended it), "timed out after N s" or "cannot start: ..."."""
    with open(input_path, "rb") as stdin, open(output_path, "wb") as out:
        try:
            process = subprocess.Popen(command, stdin=stdin, stdout=out, stderr=subprocess.STDOUT,
                                       start_new_session=True)
        except OSError as error:
            return f"cannot start: {error.strerror}"
        try:
            code = process.wait(timeout=RUN_TIMEOUT)
        except subprocess.TimeoutExpired:
            # The runner and the program are one process group of their own.
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()
            return f"timed out after {RUN_TIMEOUT} s"
    return code if code >= 0 else 128 - code


def compare(argv):
    parser = argparse.ArgumentParser(prog="compare_builds.sh", usage=(
        "compare_builds.sh [--json FILE] [--runner CMD] FOLDER [[--runner CMD] FOLDER ...]"))
    parser.add_argument("--json", help="one JSON line per run, and per executable that could not run")
    options, rest = parser.parse_known_args(argv)
    folders = []  # (folder as given, runner words)
    while rest:
        runner = []
        if rest[0] == "--runner":
            if len(rest) < 3:
                parser.error("--runner needs a command and a folder after it")
            runner, rest = rest[1].split(), rest[2:]
        if rest[0].startswith("--"):
            parser.error(f"unknown option {rest[0]}")
        folders.append((rest[0].rstrip("/") or "/", runner))
        rest = rest[1:]
    if not folders:
        parser.error("no folder given")

    executables = suite_executables()
    # Every file that cannot run, with the runs it would have made.
    unmade, usable = [], []
    for index, (folder, runner) in enumerate(folders):
        for file, program, build in executables:
            path = os.path.join(folder, file)
            problem = problem_of(path)
            if problem:
                unmade.append({"folder": folder, "file": file, "program": program, "build": build,
                               "problem": problem, "runs_not_made": len(inputs_of(program))})
            else:
                usable.append((index, folder, runner, file, program, build, path))
    # Every run, in the order of programs, inputs, folders and builds.
    runs = []
    for program in dict.fromkeys(program for _, program, _ in executables):
        for input_path in inputs_of(program):
            for index, folder, runner, file, owner, build, path in usable:
                if owner == program:
                    runs.append({"index": index, "folder": folder, "file": file, "program": program,
                                 "build": build, "path": path, "runner": runner, "input": input_path})

    with tempfile.TemporaryDirectory() as scratch:
        def make(numbered):
            n, run = numbered
            output = os.path.join(scratch, f"{n}.out")
            started = time.monotonic()
            run["status"] = run_once(run["runner"] + [run["path"]], run["input"], output)
            run["seconds"] = round(time.monotonic() - started, 3)
            run["output"] = output

        # Two runs at a time: the machine has two processors.
        with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
            list(pool.map(make, enumerate(runs)))

        records, lines = [], []
        reference = {}  # input without golden output: (path, bytes, status) of its first run
        for run in runs:
            golden = run["input"].with_suffix(".out")
            actual = Path(run["output"]).read_bytes()
            if golden.exists():
                status_file = run["input"].with_suffix(".status")
                expected_status = int(status_file.read_text()) if status_file.exists() else 0
                against, expected = shown_path(golden), golden.read_bytes()
            elif run["input"] not in reference:
                reference[run["input"]] = (run["path"], actual, run["status"])
                against, expected, expected_status = run["path"], actual, run["status"]
            else:
                against, expected, expected_status = reference[run["input"]]
            found = difference(expected, expected_status, actual, run["status"])
            record = {key: run[key] for key in ("folder", "file", "program", "build")}
            record.update(input=shown_path(run["input"]), against=against, status=run["status"],
                          seconds=run["seconds"], differs=found is not None, difference=found)
            records.append(record)
            if found:
                lines.append(f"DIFFERENT: {run['path']} on {shown_path(run['input'])}, against {against}: "
                             f"{described(found)}")

    for line in lines:
        print(line, file=sys.stderr)
    for item in unmade:
        print(f"{item['problem'].upper()}: {os.path.join(item['folder'], item['file'])}: "
              f"{item['runs_not_made']} runs not made", file=sys.stderr)
    if options.json:
        with open(options.json, "w") as out:
            for record in records + unmade:
                out.write(json.dumps(record) + "\n")
    total = 0
    for index, (folder, _) in enumerate(folders):
        made = sum(1 for run in runs if run["index"] == index)
        total += made
        print(f"{folder}: {made} runs")
        lost = [item for item in unmade if item["folder"] == folder]
        if lost:
            print(f"{folder}: {sum(item['runs_not_made'] for item in lost)} runs not made: "
                  + ", ".join(f"{item['file']} {item['problem']}" for item in lost))
    print(f"compared {total} runs over {len(folders)} build folders: {len(lines)} differences")
    return 0 if not lines and not unmade else 1


# --- the quick judging -----------------------------------------------------

def folder_executables(folder):
    """(file, program, build) of the suite's executables a folder holds:
    <program>_b<k> and <program> (a build made once with an option set)."""
    found = []
    for file in sorted(os.listdir(folder)):
        parsed = parse_executable(file)
        if parsed and os.path.isfile(os.path.join(folder, file)):
            found.append((file, *parsed))
    return found


def quick(folder, runner=(), executables=None, jobs=2, keep=None):
    """Runs every golden dialogue and sample of each executable's program
    through it and compares its output and exit status with the golden
    ones.  executables: [(file, program, build)] (default: what the folder
    holds).  keep, a folder: the output of every run that differs is kept
    there as <file>.<input name>.actual.  Returns one dict per executable:
    file, program, build, path, verdict ("passed", "failed", "missing",
    "not executable"), runs (one dict each: input, expected, status,
    expected_status, seconds, difference), runs_compared, differing_runs,
    first_difference, seconds."""
    folder = os.path.abspath(folder)
    if executables is None:
        executables = folder_executables(folder)
    return quick_many([(folder, file, program, build) for file, program, build in executables], runner, jobs, keep)


def quick_many(executables, runner=(), jobs=2, keep=None):
    """quick() over the executables of several folders, [(folder, file,
    program, build)], with the runs of all of them in one pool.  keep: a
    folder, or a function of a result giving the folder for its outputs."""
    by_program = {program.name: program for program in programs()}
    results, runs = [], []
    for folder, file, program, build in executables:
        path = os.path.join(os.path.abspath(folder), file)
        result = {"file": file, "program": program, "build": build, "path": path, "verdict": problem_of(path),
                  "runs": [], "runs_compared": 0, "differing_runs": 0, "first_difference": None, "seconds": 0.0}
        results.append(result)
        if result["verdict"] is None:
            for input_path, expected, status in by_program[program].inputs():
                runs.append((result, input_path, expected, status))

    with tempfile.TemporaryDirectory() as scratch:
        def make(numbered):
            n, (result, input_path, expected, expected_status) = numbered
            output = os.path.join(scratch, f"{n}.out")
            started = time.monotonic()
            status = run_once(list(runner) + [result["path"]], input_path, output)
            seconds = round(time.monotonic() - started, 3)
            actual = Path(output).read_bytes()
            wanted = expected.read_bytes() if expected else b""
            found = difference(wanted, expected_status, actual, status) if expected else {
                "offset_from_1": None, "excerpt_from_1": None, "expected": None, "actual": None,
                "expected_size": 0, "actual_size": len(actual), "expected_status": None, "actual_status": status,
                "note": "no golden output"}
            record = {"input": shown_path(input_path), "expected": shown_path(expected) if expected else None,
                      "status": status, "expected_status": expected_status, "seconds": seconds, "difference": found}
            where = keep(result) if callable(keep) else keep
            if found and where:
                os.makedirs(where, exist_ok=True)
                kept = os.path.join(where, f"{result['file']}.{input_path.stem}.actual")
                os.replace(output, kept)
                record["actual_file"] = kept
            return result, record

        with concurrent.futures.ThreadPoolExecutor(max_workers=max(1, jobs)) as pool:
            for result, record in pool.map(make, enumerate(runs)):
                result["runs"].append(record)

    for result in results:
        if result["verdict"] is not None:
            continue
        differing = [run for run in result["runs"] if run["difference"]]
        result.update(runs_compared=len(result["runs"]), differing_runs=len(differing),
                      seconds=round(sum(run["seconds"] for run in result["runs"]), 3),
                      verdict="failed" if differing or not result["runs"] else "passed")
        if differing:
            result["first_difference"] = {"input": differing[0]["input"], "against": differing[0]["expected"],
                                          **differing[0]["difference"]}
            for key in ("actual_file",):
                if key in differing[0]:
                    result["first_difference"][key] = differing[0][key]
    return results


# --- the tests -------------------------------------------------------------

def read_junit(path):
    """(name, outcome, output, note) of every test in ctest's JUnit file:
    outcome "passed", "skipped" or "failed"; note says why a test was
    skipped or not run."""
    raw = Path(path).read_bytes().decode("utf-8", errors="replace")
    # Characters XML 1.0 cannot carry may come from a program's output.
    raw = re.sub("[^\t\n\r\x20-\ud7ff\ue000-\ufffd\U00010000-\U0010ffff]", "\ufffd", raw)
    tests = []
    for case in ET.fromstring(raw).iter("testcase"):
        output = case.findtext("system-out") or ""
        status = case.get("status")
        skipped = case.find("skipped")
        failure = case.find("failure")
        if status == "run":
            tests.append((case.get("name"), "passed", output, None))
        elif status == "disabled":
            tests.append((case.get("name"), "skipped", output, "disabled in ctest"))
        elif status == "notrun" and skipped is not None and skipped.get("message", "").startswith("SKIP_"):
            tests.append((case.get("name"), "skipped", output, skip_reason(output)))
        else:
            # Failed, or not run for another reason (which ctest counts as failed).
            note = (failure if failure is not None else skipped)
            tests.append((case.get("name"), "failed", output, note.get("message") if note is not None else None))
    return tests


def skip_reason(output):
    """What a test said when it skipped: GoogleTest prints it after the
    line "<file>:<line>: Skipped", up to "[  SKIPPED ]"."""
    lines = output.splitlines()
    for n, line in enumerate(lines):
        if line.endswith(": Skipped"):
            reason = []
            for line in lines[n + 1:]:
                if line.startswith("[  SKIPPED ]") or not line.strip():
                    break
                reason.append(line)
            return "\n".join(reason) or "(no reason given)"
    # A script that says so in its own words, such as "skipped: ...".
    said = [line for line in lines if line.lower().startswith("skipped")]
    return said[0] if said else "(no reason given)"


def executables_of_test(name, output, known):
    """The executables a test is about: the one its name ends in for a
    parameterised test, otherwise those its output names (without the
    "ok: <executable>" lines of dialogues that passed)."""
    last = name.rsplit("/", 1)[-1]
    if "/" in name and last in known:
        return [last]
    named = []
    for line in output.splitlines():
        if line.startswith("ok: "):
            continue
        for found in EXECUTABLE_NAME.findall(line):
            if found in known and found not in named:
                named.append(found)
    return named


# --- the manifest ----------------------------------------------------------

def describe(folder, logs):
    """Runs tools/describe on the folder; says what came of it."""
    tool = ROOT / "tools" / "describe"
    if not tool.exists():
        return "tools/describe is not in the tree"
    log = Path(logs) / "describe.log" if logs else None
    try:
        done = subprocess.run(["/usr/bin/python3", str(tool), folder, "--quiet"], capture_output=True,
                              text=True, errors="replace", timeout=600)
    except subprocess.TimeoutExpired:
        return "tools/describe did not end within 600 s"
    if log:
        log.write_text(done.stdout + done.stderr)
    if done.returncode != 0:
        last = (done.stderr.strip().splitlines() or ["(nothing on standard error)"])[-1]
        return f"tools/describe failed with exit status {done.returncode}: {last}"
    return "written by tools/describe"


def sha256_of(path):
    digest = hashlib.sha256()
    with open(path, "rb") as file:
        for block in iter(lambda: file.read(1 << 20), b""):
            digest.update(block)
    return digest.hexdigest()


def read_manifest(folder):
    """The folder's manifest.jsonl by file name; {} without one."""
    path = Path(folder) / "manifest.jsonl"
    entries = {}
    if path.exists():
        for line in path.read_text(errors="replace").splitlines():
            try:
                entry = json.loads(line)
            except json.JSONDecodeError:
                continue
            if isinstance(entry, dict) and "file" in entry:
                entries[entry["file"]] = entry
    return entries


def configuration(entry, sha256):
    """The fields of a manifest entry the report carries, and a note when
    they are missing: no entry, or one made for other bytes than the file's."""
    fields = {"sha256": sha256, "elf_machine": None, "compiler": None, "flags": None, "level": None,
              "identical_to": None}
    if entry is None:
        return fields, "no manifest entry" if sha256 else None
    if sha256 and entry.get("sha256") != sha256:
        return fields, "the manifest entry is for other bytes (its sha256 differs from the file's)"
    fields.update(sha256=entry.get("sha256"), elf_machine=(entry.get("elf") or {}).get("machine"),
                  compiler=entry.get("compiler"), flags=entry.get("flags"), level=entry.get("level"),
                  identical_to=entry.get("identical_to"))
    return fields, None


# --- the report ------------------------------------------------------------

def some(names, shown=3):
    """"a, b, c and 4 more"."""
    listed = ", ".join(names[:shown])
    return listed + (f" and {len(names) - shown} more" if len(names) > shown else "")


def short_test_name(name, file):
    """"Dialogues/Golden.EveryCase.../fib_loop_b1" as "Golden.EveryCase..." on a line about fib_loop_b1."""
    if name.endswith("/" + file):
        name = name[:-len(file) - 1]
    return name.split("/", 1)[1] if "/" in name else name


def counted(n, what):
    return f"{n} {what}" if n == 1 else f"{n} {what}s"


def read_runs(path, folder):
    """What compare left, as (runs of the folder by file, records of the
    folder's files that could not run by file, faults of the other folders)."""
    runs, unmade, faults = {}, {}, []
    for line in Path(path).read_text().splitlines():
        record = json.loads(line)
        mine = os.path.abspath(record["folder"]) == folder
        if "problem" in record:
            if mine:
                unmade[record["file"]] = record
            else:
                faults.append(f"{record['file']} {record['problem']}")
        elif mine:
            runs.setdefault(record["file"], []).append(record)
        elif record["differs"]:
            faults.append(f"{record['file']} differs on {record['input']}")
    return runs, unmade, faults


def attribute_tests(tests, known):
    """The failed test names and the skipped tests (name and reason) by
    executable, and those that name no executable."""
    failed, skipped = {}, {}
    unattributed = {"failed": [], "skipped": []}
    for name, outcome, output, note in tests:
        if outcome == "passed":
            continue
        named = executables_of_test(name, output, known)
        entry = name if outcome == "failed" else {"name": name, "reason": note}
        for file in named:
            (failed if outcome == "failed" else skipped).setdefault(file, []).append(entry)
        if not named:
            unattributed[outcome].append(entry)
    return failed, skipped, unattributed


def executable_line(folder, file, program, build, runs, unmade, tests, manifest):
    """The JSON line of one executable, and whether its manifest entry held."""
    path = os.path.join(folder, file)
    problem = problem_of(path)
    differing = [record for record in runs if record["differs"]]
    first = None
    if differing:
        first = {"input": differing[0]["input"], "against": differing[0]["against"], **differing[0]["difference"]}
    failed, skipped = (tests[0].get(file, []), tests[1].get(file, [])) if tests else (None, None)
    if problem:
        verdict = problem
    elif differing or failed or not runs:
        # A file with no run compared cannot have passed.
        verdict = "failed"
    else:
        verdict = "passed"
    try:
        sha256 = sha256_of(path) if os.path.isfile(path) else None
    except OSError:
        sha256 = None
    fields, note = configuration(manifest.get(file), sha256)
    line = {"record": "executable", "folder": folder, "file": file, "program": program, "build": build,
            "verdict": verdict, "runs_compared": len(runs), "runs_not_made": unmade.get("runs_not_made", 0),
            "differing_runs": len(differing), "first_difference": first, "failed_tests": failed,
            "skipped_tests": skipped, **fields, "manifest_note": note}
    return line, file in manifest and note is None


def program_line(program, lines):
    """"<program> passed", or what failed for each of its executables."""
    faults = []
    for line in lines:
        if line["program"] != program or line["verdict"] == "passed":
            continue
        what = []
        if line["verdict"] in ("missing", "not executable"):
            what.append(f"{line['verdict']}, {line['runs_not_made']} runs not made")
        elif line["differing_runs"]:
            first = line["first_difference"]
            what.append(f"{line['differing_runs']} of {line['runs_compared']} runs differ, first on "
                        f"{first['input']} {described(first)}")
        elif not line["runs_compared"]:
            what.append("no run compared")
        if line["failed_tests"]:
            names = [short_test_name(name, line["file"]) for name in line["failed_tests"]]
            what.append(f"{counted(len(names), 'test')} failed: {some(names)}")
        faults.append(f"{line['file']}: " + "; ".join(what))
    return f"{program:<16} " + ("passed" if not faults else "FAILED: " + " | ".join(faults))


def counts_line(summary, reference):
    """The last line for people: executables, tests, runs, time."""
    unusable = summary["missing"] + summary["not_executable"]
    tests = summary["tests"]
    return (f"executables: {summary['passed']} passed, {summary['failed']} failed"
            + (f" ({summary['missing']} missing, {summary['not_executable']} not executable)" if unusable else "")
            + "; tests: " + (f"{tests['passed']} passed, {tests['skipped']} skipped, {tests['failed']} failed"
                             if tests else "none run")
            + f"; runs compared with {shown_path(reference)}: {summary['runs_compared']}, "
            + f"{summary['differing_runs']} differ"
            + (f", {summary['runs_not_made']} not made" if summary["runs_not_made"] else "")
            + (f"; {summary['seconds']} s" if summary["seconds"] is not None else ""))


def report(argv):
    parser = argparse.ArgumentParser(prog="tools/judge report")
    parser.add_argument("--folder", required=True, help="the folder judged")
    parser.add_argument("--reference", required=True, help="the folder compared with")
    parser.add_argument("--runner", default="")
    parser.add_argument("--sanitized", action="store_true")
    parser.add_argument("--tests", help="the test tree whose tests ran")
    parser.add_argument("--junit", help="ctest's --output-junit file; without it no tests ran")
    parser.add_argument("--runs", required=True, help="compare's --json file")
    parser.add_argument("--describe", action="store_true", help="run tools/describe on the folder first")
    parser.add_argument("--report", help="the JSON lines go here")
    parser.add_argument("--extra", default="{}", help="a JSON object of fields for every line")
    parser.add_argument("--started", type=float, help="when the judgement began (seconds since the epoch)")
    parser.add_argument("--logs", help="the folder of the logs, named in the output")
    parser.add_argument("--quiet", action="store_true", help="no lines for people")
    options = parser.parse_args(argv)
    folder = os.path.abspath(options.folder)
    reference = os.path.abspath(options.reference)
    say = (lambda *args: None) if options.quiet else print
    executables = suite_executables()
    problems = []

    runs, unmade, faults = {}, {}, []
    if Path(options.runs).exists() and Path(options.runs).stat().st_size > 0:
        runs, unmade, faults = read_runs(options.runs, folder)
    else:
        problems.append(f"compare_builds.sh left no record of runs in {options.runs}")
    if faults and reference != folder:
        problems.append(f"the reference {reference} is not sound: " + some(faults))
    tests = None
    if options.junit and not Path(options.junit).exists():
        problems.append(f"ctest left no JUnit file {options.junit}")
    elif options.junit:
        tests = read_junit(options.junit)
    failed_by, skipped_by, unattributed = attribute_tests(tests or [], {file for file, _, _ in executables})

    # The manifest: written afresh where tools/describe can, otherwise as found.
    manifest_note = describe(folder, options.logs) if options.describe else "tools/describe not asked for"
    manifest = read_manifest(folder)
    manifest_state = {"describe": manifest_note,
                      "file": str(Path(folder) / "manifest.jsonl") if manifest else None,
                      "entries": len(manifest), "entries_matching_their_files": 0}

    lines = []
    for file, program, build in executables:
        line, described_truly = executable_line(folder, file, program, build, runs.get(file, []),
                                                unmade.get(file, {}),
                                                (failed_by, skipped_by) if tests is not None else None, manifest)
        manifest_state["entries_matching_their_files"] += described_truly
        lines.append(line)

    count = {verdict: sum(1 for line in lines if line["verdict"] == verdict)
             for verdict in ("passed", "missing", "not executable")}
    outcomes = None
    if tests is not None:
        outcomes = {outcome: sum(1 for test in tests if test[1] == outcome)
                    for outcome in ("passed", "skipped", "failed")}
    failed = len(lines) - count["passed"]
    summary = {"record": "summary", "folder": folder, "runner": options.runner, "sanitized": options.sanitized,
               "reference": reference, "tests_tree": options.tests,
               "verdict": "passed" if not failed and not unattributed["failed"] and not problems else "failed",
               "executables": len(lines), "passed": count["passed"], "failed": failed,
               "missing": count["missing"], "not_executable": count["not executable"],
               "runs_compared": sum(line["runs_compared"] for line in lines),
               "differing_runs": sum(line["differing_runs"] for line in lines),
               "runs_not_made": sum(line["runs_not_made"] for line in lines),
               "tests": outcomes, "tests_naming_no_executable": unattributed if tests is not None else None,
               "manifest": manifest_state, "problems": problems,
               "seconds": round(time.time() - options.started) if options.started else None}
    if options.report:
        extra = json.loads(options.extra)
        with open(options.report, "w") as out:
            for line in lines + [summary]:
                out.write(json.dumps({"record": line["record"], **extra, **line}) + "\n")

    # For people: one line per program, the files that could not run, what
    # else went wrong, the counts.
    for program in sorted({program for _, program, _ in executables}):
        say(program_line(program, lines))
    if unattributed["failed"]:
        say(f"{'(no executable)':<16} FAILED: {counted(len(unattributed['failed']), 'test')} failed: "
            + some(unattributed["failed"]))
    for line in lines:
        if line["verdict"] in ("missing", "not executable"):
            say(f"{line['file']}: {line['verdict']}")
    for problem in problems:
        say(f"problem: {problem}")
    if options.describe and manifest_note != "written by tools/describe":
        say(f"manifest: {manifest_note}; "
            + (f"{manifest_state['entries_matching_their_files']} of {len(lines)} executables described by "
               f"the {manifest_state['file']} found" if manifest else "the report goes without its fields"))
    if options.logs:
        say(f"(logs: {options.logs}" + (f", report: {options.report})" if options.report else ")"))
    say(counts_line(summary, reference))
    return 0 if summary["verdict"] == "passed" else 1


# --- judging option sets ---------------------------------------------------

# The sample input of each executable runs this many times for exec_time,
# its minimum.
SAMPLE_RUNS = 5
# Sections an executable carries about its build rather than its code: the
# debug link names (and its CRC sums) the debug file, .suite.flags the
# flags; the build-id note is a hash the linker takes over the whole file.
# The hash of a stripped executable goes without them, so that two builds
# loading the same code, such as -O3 and -O3 -g, have the same hash.
BUILD_SECTIONS = (".gnu_debuglink", ".suite.flags")
# The emulator (qemu-user) of each machine whose binaries this one cannot run itself.
EMULATORS = [(r"aarch64", "qemu-aarch64"), (r"aarch64_be", "qemu-aarch64_be"), (r"arm.*eb", "qemu-armeb"),
             (r"arm.*", "qemu-arm"), (r"i[3-7]86", "qemu-i386"), (r"x86_64", "qemu-x86_64"),
             (r"mips64el", "qemu-mips64el"), (r"mips64", "qemu-mips64"), (r"mipsel|mipsisa32r6el", "qemu-mipsel"),
             (r"mips|mipsisa32r6", "qemu-mips"), (r"powerpc64le", "qemu-ppc64le"), (r"powerpc64", "qemu-ppc64"),
             (r"powerpc", "qemu-ppc"), (r"riscv64", "qemu-riscv64"), (r"riscv32", "qemu-riscv32"),
             (r"s390x", "qemu-s390x"), (r"sparc64", "qemu-sparc64"), (r"sparc", "qemu-sparc"),
             (r"alpha", "qemu-alpha"), (r"hppa", "qemu-hppa"), (r"m68k", "qemu-m68k"), (r"sh4", "qemu-sh4")]


class JudgeError(Exception):
    """A judging that cannot be made (no compiler, an unreadable folder); one line."""


def option_slug(options):
    """An option set as a folder name: "-O3 -funroll-loops" as "O3_funroll-loops"."""
    words = [re.sub(r"[^A-Za-z0-9.+=,-]", "_", word.lstrip("-")) for word in shlex.split(options)]
    return "_".join(word for word in words if word) or "none"


def option_sets(text):
    """"-O0;-O2 -flto" as ["-O0", "-O2 -flto"]; empty sets are dropped."""
    return [" ".join(part.split()) for part in text.split(";") if part.strip()]


def qemu_runner(triple):
    """The emulator command that runs executables built for the triple."""
    arch = triple.split("-")[0]
    name = next((name for pattern, name in EMULATORS if re.fullmatch(pattern, arch)), f"qemu-{arch}")
    return [name, "-L", f"/usr/{triple}"]


def runner_for(triple):
    """What is put before an executable built for the triple to run it
    here: nothing for this machine's own and for i386 on x86-64 (where the
    i386 C library is installed), else the emulator."""
    from .binary import machine_for
    machine, here = machine_for(triple), host_machine()
    if machine == here or (machine == "EM_386" and here == "EM_X86_64" and os.path.exists("/lib/ld-linux.so.2")):
        return []
    return qemu_runner(triple)


def host_description():
    """This machine, as a bug report names it."""
    return f"{platform.node()} ({platform.machine()}, {platform.system()} {platform.release()})"


@functools.lru_cache(maxsize=None)
def host_machine():
    from .binary import machine_for
    return machine_for("")


def elf_facts(path):
    """(ELF machine, size of .text) of an executable, Nones when it cannot be read."""
    from .binary import Binary, BinaryError
    try:
        binary = Binary(path)
        return binary.machine, binary.text_size()
    except (BinaryError, OSError):
        return None, None


def elf_machine_number(path):
    """e_machine of an ELF file, from its header alone; None for another file."""
    try:
        with open(path, "rb") as file:
            header = file.read(20)
    except OSError:
        return None
    if len(header) < 20 or header[:4] != b"\x7fELF":
        return None
    return int.from_bytes(header[18:20], "little" if header[5] == 1 else "big")


def objcopy_for(machine):
    """An objcopy that can strip executables of an ELF machine."""
    if machine == host_machine() and shutil.which("objcopy"):
        return shutil.which("objcopy")
    return next(filter(None, map(shutil.which, ("llvm-objcopy-16", "llvm-objcopy"))), None)


def stripped_md5(path, objcopy):
    """The md5 of a copy of the executable stripped by `objcopy --strip-all`,
    without the sections of BUILD_SECTIONS and with the build-id zeroed; None
    when it cannot be stripped."""
    from .binary import Binary, BinaryError
    if not objcopy:
        return None
    with tempfile.TemporaryDirectory() as scratch:
        copy = os.path.join(scratch, "stripped")
        command = [objcopy, "--strip-all", *(f"--remove-section={name}" for name in BUILD_SECTIONS), path, copy]
        if subprocess.run(command, capture_output=True).returncode != 0:
            return None
        data = bytearray(Path(copy).read_bytes())
        try:
            note = Binary(copy, bytes(data)).elf.get_section_by_name(".note.gnu.build-id")
        except BinaryError:
            return None
        if note is not None:
            start, size = note["sh_offset"], note["sh_size"]
            # The note's header (name size, descriptor size, type, "GNU\0")
            # stays; the descriptor, the hash, becomes zeros.
            header = 16
            data[start + header:start + size] = bytes(max(0, size - header))
        return hashlib.md5(data).hexdigest()


def exec_times(path, input_path, runs=SAMPLE_RUNS):
    """The times of `runs` runs of the executable on the input, one after
    the other, output thrown away: the processor time (user and system) the
    kernel gives each run when it ends (wait4), which start-up is part of and
    the waiting for a processor on a busy machine is not.  None when a run
    does not end of itself within RUN_TIMEOUT."""
    times = []
    for _ in range(runs):
        with open(input_path, "rb") as stdin:
            try:
                process = subprocess.Popen([path], stdin=stdin, stdout=subprocess.DEVNULL,
                                           stderr=subprocess.DEVNULL)
            except OSError:
                return None
        deadline = time.monotonic() + RUN_TIMEOUT
        while True:
            pid, status, usage = os.wait4(process.pid, os.WNOHANG)
            if pid:
                break
            if time.monotonic() > deadline:
                process.kill()
                process.wait()
                return None
            time.sleep(0.0005)
        # Reaped here: the Popen object must not wait for it again.
        process.returncode = os.waitstatus_to_exitcode(status)
        if process.returncode < 0:
            return None
        times.append(usage.ru_utime + usage.ru_stime)
    return [round(seconds, 6) for seconds in times]


def compiler_facts(compiler):
    """What a report says of the compiler (an engine.build.Compiler)."""
    return {"command": compiler.command, "kind": compiler.kind, "version": compiler.version,
            "version_line": compiler.version_line, "label": compiler.label, "target": compiler.target}


def set_of_flags(flags, build):
    """The option set of an executable built elsewhere, from the flags its
    .suite.flags records: what follows the suite's own options (and -g)."""
    words = (flags or "").split()
    if "-Wno-unused-result" in words:
        words = words[words.index("-Wno-unused-result") + 1:]
        if words[:1] == ["-g"]:
            words = words[1:]
        if words:
            return " ".join(words)
    return build or "-"


def new_record(cell, file, program, build, path):
    return {"record": "executable", "set": cell["label"], "folder": cell["folder"], "file": file,
            "program": program, "build": build, "path": path, "verdict": None, "shares_verdict_of": None,
            "runs_compared": 0, "differing_runs": 0, "first_difference": None, "seconds": 0.0, "metrics": {},
            "exec_times": None, "note": None, "loaded_sha256": None, "compile_log": None, "commands": None,
            "failure": None}


def judge_records(records, runner, jobs, keep_root, objcopy=None, once_per_code=True, metrics=True,
                  say=lambda line: None):
    """Judges the records whose verdict is not yet known, each code once
    (once_per_code): an executable loading the code of one judged before in
    this call shares its verdict.  Fills in verdicts, runs and, with
    metrics, the metrics."""
    first_of_code, judged = {}, []
    for record in records:
        if record["verdict"] is None and not runner:
            machine = elf_machine_number(record["path"])
            if machine is not None and machine != elf_machine_number("/proc/self/exe"):
                record["verdict"] = "unsupported"
                record["note"] = (f"built for another machine (ELF machine {machine}), which this one runs only "
                                  "through a runner (--runner)")
        if record["verdict"] is not None:
            continue
        code = record["loaded_sha256"] if once_per_code else None
        if code and code in first_of_code:
            first = first_of_code[code]
            record["_first"] = first
            record["shares_verdict_of"] = f"{first['set']} :: {first['file']}"
            continue
        if code:
            first_of_code[code] = record
        judged.append(record)
    by_path = {record["path"]: record for record in judged}
    started = time.monotonic()
    results = quick_many([(record["folder"], record["file"], record["program"], record["build"]) for record in judged],
                         runner, jobs, keep=lambda result: keep_dir(keep_root, by_path[result["path"]]))
    for result in results:
        record = by_path[result["path"]]
        record.update({key: result[key] for key in ("verdict", "runs_compared", "differing_runs", "first_difference",
                                                    "seconds")})
    say(f"judged {len(judged)} executables ({sum(r['runs_compared'] for r in judged)} runs) in "
        f"{time.monotonic() - started:.1f} s")

    for record in records:
        if record.get("_first"):
            record.update({key: record["_first"][key] for key in ("verdict", "runs_compared", "differing_runs",
                                                                  "first_difference")})
    if metrics:
        measure(records, runner, objcopy)


def measure(records, runner, objcopy=None):
    """The metrics of the records: size..text and hash of every file, and
    exec_time, one run at a time, of those that ran, on this machine only:
    a record sharing another's verdict shares its exec_time too."""
    for record in records:
        machine, text = elf_facts(record["path"]) if os.path.isfile(record["path"]) else (None, None)
        if text is not None:
            record["metrics"]["size..text"] = text
        if machine is not None:
            digest = stripped_md5(record["path"], objcopy or objcopy_for(machine))
            if digest:
                record["metrics"]["hash"] = digest
    for record in records:
        if record["verdict"] not in ("passed", "failed") or record.get("_first"):
            continue
        if runner:
            record["note"] = (f"exec_time not measured: run under {' '.join(runner)}, whose time is not the "
                              "program's")
            continue
        times = exec_times(record["path"], ROOT / "samples" / f"{record['program']}.in")
        if times:
            record["exec_times"] = times
            record["metrics"]["exec_time"] = min(times)
    for record in records:
        shared = record.get("_first")
        if shared is not None:
            record["note"] = shared["note"]
            if "exec_time" in shared["metrics"]:
                record["metrics"]["exec_time"] = shared["metrics"]["exec_time"]
                record["exec_times"] = shared["exec_times"]


def keep_dir(root, record):
    return os.path.join(root, option_slug(record["set"]) if record["set"] not in ("-", None) else "folder")


def build_cells(cxx, target, sets, out, jobs=2, remarks=True, say=lambda line: None):
    """Builds one cell per option set (None: the suite's levels) with
    engine.build and describes each; returns (compiler, cells, records)."""
    from . import build as builder
    from .binary import BinaryError
    from .manifest import describe_folder, write_manifest
    try:
        compiler = builder.find_compiler(cxx, target)
    except builder.BuildError as error:
        raise JudgeError(str(error))
    cells, records, slugs = [], [], set()
    for options in sets:
        slug = option_slug(options) if options is not None else "levels"
        while slug in slugs:
            slug += "_"
        slugs.add(slug)
        folder = os.path.join(os.path.abspath(out), slug)
        started = time.monotonic()
        try:
            built = builder.build(folder, cxx=cxx, target=target, options=options, jobs=jobs, remarks=remarks)
        except builder.BuildError as error:
            raise JudgeError(str(error))
        except OSError as error:
            raise JudgeError(f"cannot build into {folder}: {error.strerror}")
        try:
            entries = describe_folder(folder, [item.executable for item in built if item.ok])
            write_manifest(entries, os.path.join(folder, "manifest.jsonl"))
        except BinaryError as error:
            raise JudgeError(str(error))
        except OSError as error:
            raise JudgeError(f"cannot write the manifest of {folder}: {error.strerror}")
        entries = {entry["file"]: entry for entry in entries}
        cell = {"label": options, "options": options, "slug": slug, "folder": folder,
                "seconds": round(time.monotonic() - started, 1)}
        cells.append(cell)
        say(f"built {sum(item.ok for item in built)} of {len(built)} executables "
            f"{'with ' + options if options is not None else 'at the levels'} in {folder} in {cell['seconds']} s")
        for item in built:
            record = new_record(dict(cell, label=options if options is not None else item.options), item.executable,
                                item.program, item.build, item.path)
            record["commands"] = [shlex.join(command) for command in item.commands]
            record["metrics"]["compile_time"] = round(item.compile_seconds + item.link_seconds, 3)
            if not item.ok:
                record["verdict"] = "not built"
                record["compile_log"] = item.log[-4000:]
                # What an earlier call built there is not this build.
                for suffix in ("", ".debug", ".remarks.jsonl"):
                    if os.path.lexists(item.path + suffix):
                        os.remove(item.path + suffix)
            else:
                entry = entries.get(item.executable, {})
                record["loaded_sha256"] = entry.get("loaded_sha256")
                record["flags"] = entry.get("flags")
            records.append(record)
    return compiler, cells, records


def folder_records(folder, code=True):
    """The records of the suite's executables a folder holds, their option
    set read from the .suite.flags each carries; with code, the digest of
    the code each loads (Binary.loaded_digest)."""
    from .binary import Binary, BinaryError
    cell = {"label": None, "folder": os.path.abspath(folder)}
    records = []
    for file, program, build in folder_executables(folder):
        path = os.path.join(cell["folder"], file)
        flags, digest = None, None
        try:
            binary = Binary(path)
            given = binary.suite_flags()
            flags = given["flags"] if given else None
            digest = binary.loaded_digest() if code else None
            compiler = given["compiler"] if given else None
        except (BinaryError, OSError):
            compiler = None
        record = new_record(dict(cell, label=set_of_flags(flags, build)), file, program, build, path)
        record.update(flags=flags, loaded_sha256=digest, recorded_compiler=compiler)
        records.append(record)
    return records


def full_records(folder, report_file, saved):
    """The records of a full judging from the JSON lines report() wrote,
    with the dialogues of randomised tests saved in the folder `saved`."""
    present = {record["file"]: record for record in folder_records(folder)}
    records = []
    for line in Path(report_file).read_text().splitlines():
        line = json.loads(line)
        if line.get("record") != "executable":
            continue
        record = present.get(line["file"]) or new_record({"label": line["build"] or "-", "folder": folder},
                                                         line["file"], line["program"], line["build"],
                                                         os.path.join(folder, line["file"]))
        record.update({key: line[key] for key in ("verdict", "runs_compared", "differing_runs", "first_difference")})
        record["failed_tests"] = line.get("failed_tests")
        found = Path(saved) / f"{line['file']}.random.in"
        record["saved_inputs"] = [str(found)] if found.exists() else []
        records.append(record)
    return records


def saved_difference(record, runner, saved_input):
    """The first difference of a run of the executable on an input a
    randomised test saved, against the model's answer saved beside it."""
    saved_input = Path(saved_input)
    expected = saved_input.with_suffix(".out")
    status_file = saved_input.with_suffix(".status")
    expected_status = int(status_file.read_text()) if status_file.exists() else 0
    with tempfile.TemporaryDirectory() as scratch:
        output = os.path.join(scratch, "out")
        status = run_once(list(runner) + [record["path"]], saved_input, output)
        found = difference(expected.read_bytes(), expected_status, Path(output).read_bytes(), status)
    if found is None:
        return None
    return {"input": str(saved_input), "against": str(expected), **found}


def fails_and_passes(records):
    """{program: (option sets where it fails, those where it passes)}."""
    found = {}
    for record in records:
        fails, passes = found.setdefault(record["program"], ([], []))
        if record["verdict"] == "unsupported":
            continue
        where = record["set"] if record["build"] is None or record["set"] == record["build"] else \
            f"{record['build']} ({record['set']})"
        (passes if record["verdict"] == "passed" else fails).append(where)
    return found


def fails_at(fails, passes):
    """"fails at -O2 only", "fails at every option set", "fails at -O2 and -O3, passes at -O0 and -O1"."""
    if not fails:
        return "passes at every option set"
    if not passes:
        return "fails at every option set" if len(fails) > 1 else f"fails at {fails[0]}, the only option set"
    if len(fails) == 1:
        return f"fails at {fails[0]} only"
    return f"fails at {', '.join(fails)}; passes at {', '.join(passes)}"


def reproduce_command(runner, executable, first):
    """One command that shows the difference from the golden file: cmp of
    the output, or with the exit statuses too when they differ."""
    run = shlex.join([*runner, executable]) + " < " + shlex.quote(str(ROOT / first["input"]))
    expected = str(ROOT / first["against"]) if first.get("against") else None
    if expected and first["expected_status"] == first["actual_status"]:
        return f"{run} | cmp - {shlex.quote(expected)}"
    golden = f"cat {shlex.quote(expected)}; " if expected else ""
    script = f"cmp <({run}; echo exit status $?) <({golden}echo exit status {first['expected_status']})"
    return "bash -c " + shlex.quote(script)


def failure_reports(records, compiler, runner, keep_root, host):
    """Fills in the failure report of every failed record judged: enough
    to file a compiler bug, with the executable kept."""
    verdicts = fails_and_passes(records)
    for record in records:
        if record["verdict"] in ("passed", "unsupported", None):
            continue
        fails, passes = verdicts[record["program"]]
        report = {"program": record["program"], "build": record["build"], "option_set": record["set"],
                  "compiler": compiler_facts(compiler) if compiler else {"recorded": record.get("recorded_compiler")},
                  "machine": {"host": host, "target": compiler.target if compiler else elf_facts(record["path"])[0],
                              "runner": " ".join(runner) or None},
                  "source": next(p.source for p in programs() if p.name == record["program"]),
                  "compile_command": record["commands"][0] if record["commands"] else None,
                  "link_command": record["commands"][1] if record["commands"] else None,
                  "flags": record.get("flags"), "fails_and_passes": fails_at(fails, passes),
                  "fails_at": fails, "passes_at": passes, "kept_executable": None, "reproduce": None,
                  "same_code_as": record["shares_verdict_of"]}
        if record["verdict"] == "not built":
            report["compile_log"] = record["compile_log"]
        first = record["first_difference"]
        where = keep_dir(keep_root, record)
        if record.get("saved_inputs"):
            # Kept with the executable: the folder the tests saved it in is
            # emptied by the next judging.
            saved = Path(record["saved_inputs"][0])
            try:
                os.makedirs(where, exist_ok=True)
                for suffix in (".in", ".out", ".status"):
                    if saved.with_suffix(suffix).exists():
                        shutil.copy2(saved.with_suffix(suffix), os.path.join(where, saved.with_suffix(suffix).name))
                saved = Path(where) / saved.name
            except OSError:
                pass
            report["randomised_input"] = str(saved)
            if not first and os.path.isfile(record["path"]):
                first = saved_difference(record, runner, saved)
        if record.get("failed_tests"):
            report["failed_tests"] = record["failed_tests"]
        if first:
            report.update(input=str(ROOT / first["input"]),
                          expected=str(ROOT / first["against"]) if first.get("against") else None,
                          difference=described(first), expected_status=first["expected_status"],
                          actual_status=first["actual_status"], expected_bytes=first["expected"],
                          actual_bytes=first["actual"], offset_from_1=first["offset_from_1"],
                          excerpt_from_1=first["excerpt_from_1"], actual_output=first.get("actual_file"))
            kept = os.path.join(where, record["file"])
            try:
                os.makedirs(where, exist_ok=True)
                for suffix in ("", ".debug"):
                    if os.path.exists(record["path"] + suffix):
                        shutil.copy2(record["path"] + suffix, kept + suffix + ".part")
                        os.replace(kept + suffix + ".part", kept + suffix)
                report["kept_executable"] = kept
                report["reproduce"] = reproduce_command(runner, kept, first)
            except OSError as error:
                report["kept_executable"] = f"not kept: {error.strerror}"
        record["failure"] = report


def failure_text(record):
    """The failure report of a record, for people."""
    report = record["failure"]
    what = record["verdict"]
    first = record["first_difference"]
    if first:
        what = (f"{record['differing_runs']} of {record['runs_compared']} runs differ, first on {first['input']} "
                f"{described(first)}")
    if report.get("failed_tests"):
        names = [short_test_name(name, record["file"]) for name in report["failed_tests"]]
        what += f"; {counted(len(names), 'test')} failed: {some(names)}"
    lines = [f"FAIL {record['set']} :: {record['file']}: {what}"]
    compiler = report["compiler"]
    machine = report["machine"]
    lines.append("  compiler:   " + (f"{compiler['version_line']} ({compiler['label']}, {compiler['command']})"
                                     if "version_line" in compiler else f"{compiler['recorded'] or 'not recorded'}"))
    lines.append(f"  machine:    built for {machine['target'] or '?'} on {machine['host']}"
                 + (f", run under {machine['runner']}" if machine["runner"] else ""))
    lines.append(f"  program:    {report['program']}" + (f", build {report['build']}" if report["build"] else "")
                 + f", option set {report['option_set']}, source {report['source']}")
    if report["compile_command"]:
        lines.append(f"  compile:    {report['compile_command']}")
        lines.append(f"  link:       {report['link_command']}")
        lines.append("              (in a temporary folder of the builder, removed since)")
    else:
        lines.append(f"  flags:      {report['flags'] or 'not recorded'} (built elsewhere: the commands are not known)")
    if report.get("compile_log"):
        lines.append("  compiler said: " + report["compile_log"].strip().splitlines()[-1])
    if report.get("input"):
        lines.append(f"  input:      {report['input']}" + (" (saved by a randomised test)"
                                                          if report.get("randomised_input") == report["input"] else ""))
        if report["offset_from_1"] is not None:
            lines.append(f"  expected:   {report['expected']} from byte {report['excerpt_from_1']}: "
                         f"\"{report['expected_bytes']}\"")
            lines.append(f"  actual:     from byte {report['excerpt_from_1']}: \"{report['actual_bytes']}\""
                         + (f" (whole output: {report['actual_output']})" if report.get("actual_output") else ""))
        lines.append(f"  status:     {status_text(report['actual_status'])}, expected "
                     f"{status_text(report['expected_status'])}")
    if report.get("randomised_input") and report["randomised_input"] != report.get("input"):
        lines.append(f"  randomised: {report['randomised_input']}, the input a randomised test got wrong "
                     "(the model's answer beside it in .out and .status)")
    if report["same_code_as"]:
        lines.append(f"  same code as {report['same_code_as']}, whose verdict it shares")
    lines.append(f"  {report['fails_and_passes']}")
    if report["reproduce"]:
        lines.append(f"  reproduce:  {report['reproduce']}")
    return "\n".join(lines)


def cells_table(records):
    """Option set by program: verdict, size of .text and exec_time of each."""
    sets = list(dict.fromkeys(record["set"] for record in records if record["build"] is None)) or None
    rows = []
    if sets:
        header = ["program"] + sets
        for program in dict.fromkeys(record["program"] for record in records):
            cells = []
            for label in sets:
                record = next((r for r in records if r["program"] == program and r["set"] == label), None)
                cells.append(cell_text(record))
            rows.append([program] + cells)
    else:
        header = ["executable", "set", "verdict"]
        rows = [[record["file"], record["set"], cell_text(record)] for record in records]
    widths = [max(len(str(row[i])) for row in [header] + rows) for i in range(len(header))]
    return "\n".join("  ".join(str(value).ljust(width) for value, width in zip(row, widths)).rstrip()
                     for row in [header] + rows)


def cell_text(record):
    if record is None:
        return "-"
    verdict = {"passed": "ok", "failed": "FAIL"}.get(record["verdict"], record["verdict"].upper())
    mark = "=" if record["shares_verdict_of"] else ""
    size = record["metrics"].get("size..text")
    seconds = record["metrics"].get("exec_time")
    return (f"{mark}{verdict} {size if size is not None else '?'}"
            + (f" {seconds * 1000:.2f}" if seconds is not None else ""))


# --- compilers side by side ------------------------------------------------

# One size of bench/run's inputs per program, at which callgrind takes
# seconds at most; the others run their sample.
DEFAULT_SIZES = {"quick_sort": 100000, "heap_sort": 100000, "record_sort": 1000, "matrix_product": 128,
                 "fib_recursive": 25, "fib_loop": 1000000, "fib_table": 1000000, "count_down_up": 100000,
                 "selection_sort": 10, "bubble_sort": 10}


def bench_inputs():
    """({program: (kind, [sizes])}, {kind: seed}) of bench/run: its scaling
    table and the seeds it gives make_input."""
    text = (ROOT / "bench" / "run").read_text()
    start = text.find("scaling=(")
    table = text[start:text.find("\n)", start)] if start >= 0 else ""
    found = {program: (kind, [int(n) for n in sizes.split(",")])
             for program, kind, sizes in re.findall(r'"(\w+)\s+(random|records|matrix|n)\s+([0-9,]+)', table)}
    seeds = {kind: int(seed) for kind, seed in re.findall(r"\[(random|records|matrix)\]=(\d+)", text)}
    if not found or len(seeds) != 3:
        raise JudgeError(f"no scaling table and seeds in {ROOT / 'bench' / 'run'}")
    return found, seeds


def bench_input(program, size, store):
    """The input file of a program at a size, made as bench/run makes it
    (bench/src/make_input.cpp, the same seeds); (path, words for people)."""
    table, seeds = bench_inputs()
    if program not in table:
        return ROOT / "samples" / f"{program}.in", "its sample"
    kind, sizes = table[program]
    if size is None:
        size = DEFAULT_SIZES.get(program, sizes[0])
    os.makedirs(store, exist_ok=True)
    path = Path(store) / f"{kind}-{size}.in"
    if not path.exists():
        if kind == "n":
            data = f"{size}\n".encode()
        else:
            maker = Path(store) / "make_input"
            source = ROOT / "bench" / "src" / "make_input.cpp"
            if not maker.exists() or maker.stat().st_mtime < source.stat().st_mtime:
                done = subprocess.run(["g++", "-std=c++20", "-O2", f"-I{ROOT / 'bench' / 'src'}", str(source), "-o",
                                       f"{maker}.part"], capture_output=True, text=True)
                if done.returncode != 0:
                    raise JudgeError(f"cannot build {shown_path(source)}: {(done.stderr.strip().splitlines() or ['?'])[-1]}")
                os.replace(f"{maker}.part", maker)
            done = subprocess.run([str(maker), kind, str(size), str(seeds[kind])], capture_output=True)
            if done.returncode != 0:
                raise JudgeError(f"make_input {kind} {size} failed")
            data = done.stdout
        with open(f"{path}.part", "wb") as out:
            out.write(data)
        os.replace(f"{path}.part", path)
    words = {"n": f"n = {size}", "random": f"{size} random numbers", "records": f"{size} records",
             "matrix": f"matrices of dimension {size}"}[kind]
    return path, words


def instructions(executable, input_path):
    """The instructions callgrind counts in a run of the executable (its
    total Ir, start-up included), or None."""
    with tempfile.TemporaryDirectory() as scratch:
        out = os.path.join(scratch, "callgrind.out")
        with open(input_path, "rb") as stdin:
            try:
                subprocess.run(["valgrind", "--tool=callgrind", f"--callgrind-out-file={out}", executable],
                               stdin=stdin, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=RUN_TIMEOUT)
            except (OSError, subprocess.TimeoutExpired):
                return None
        if not os.path.exists(out):
            return None
        for line in Path(out).read_text(errors="replace").splitlines():
            if line.startswith(("summary:", "totals:")):
                return int(line.split()[1])
    return None


def folders_of(paths):
    """The folders to set side by side: each folder given, and those a
    JSON-lines report of tools/judge names."""
    folders = []
    for path in paths:
        if os.path.isdir(path):
            folders.append(os.path.abspath(path))
            continue
        try:
            lines = Path(path).read_text().splitlines()
            named = [json.loads(line).get("folder") for line in lines if line.strip()]
        except FileNotFoundError:
            raise JudgeError(f"no such folder or report: {path}")
        except (OSError, UnicodeDecodeError, json.JSONDecodeError, AttributeError):
            raise JudgeError(f"{path}: neither a folder nor a JSON-lines report of tools/judge")
        named = [folder for folder in dict.fromkeys(named) if folder]
        if not named:
            raise JudgeError(f"{path}: a report that names no folder")
        folders.extend(named)
    return list(dict.fromkeys(folders))


def folder_manifest(folder):
    """The manifest entries of a folder by file: its manifest.jsonl where it
    describes the files as they are, else described afresh (not written)."""
    from .binary import BinaryError
    from .manifest import describe_folder, executables
    entries = read_manifest(folder)
    files = executables(folder)
    if files and all(file in entries and entries[file].get("sha256") == sha256_of(os.path.join(folder, file))
                     for file in files):
        return entries
    try:
        return {entry["file"]: entry for entry in describe_folder(folder, files)}
    except BinaryError as error:
        raise JudgeError(str(error))


def where_went(routine):
    """A routine of a manifest entry in a few words: "74 B", "inlined into
    main (36 B)", "gone"."""
    if routine is None:
        return "-"
    parts = []
    if routine.get("function"):
        parts.append(f"{routine['function']['size']} B")
    for copy in routine.get("inlined") or []:
        size = sum(int(end, 16) - int(start, 16) for start, end in copy["ranges"])
        parts.append(f"inlined into {copy['into']} ({size} B)")
    if not parts:
        return routine["where"]
    return ", ".join(parts)


def millions(count):
    """6140123 as "6.14 M"; below a million the count itself."""
    if count is None:
        return "-"
    return f"{count / 1e6:.2f} M" if count >= 1e6 else f"{count:,}"


def side_by_side(paths, programs=None, sizes=(), callgrind=True, jobs=2):
    """The table of tools/judge --compare, as text."""
    from .programs import ROUTINES
    folders = folders_of(paths)
    manifests = [folder_manifest(folder) for folder in folders]
    wanted = [name.strip() for name in programs.split(",")] if programs else list(ROUTINES)
    unknown = [name for name in wanted if name not in ROUTINES]
    if unknown:
        raise JudgeError(f"no program {', '.join(unknown)} in the suite")
    chosen = {}
    for item in sizes:
        name, _, size = item.partition("=")
        if name not in ROUTINES or not size.isdigit():
            raise JudgeError(f"--size {item}: PROGRAM=N, N a whole number")
        chosen[name] = int(size)
    store = ROOT / "build" / "judge" / "inputs"
    inputs = {program: bench_input(program, chosen.get(program), store) for program in wanted}
    host = host_machine()

    # The instructions of every native executable, two runs at a time.
    counts, jobs_list = {}, []
    for index, (folder, entries) in enumerate(zip(folders, manifests)):
        for file, entry in entries.items():
            if entry["program"] in wanted and callgrind and entry["elf"]["machine"] == host:
                jobs_list.append((index, file, os.path.join(folder, file), inputs[entry["program"]][0]))
    with concurrent.futures.ThreadPoolExecutor(max_workers=max(1, jobs)) as pool:
        for (index, file, _, _), count in zip(jobs_list, pool.map(lambda job: instructions(job[2], job[3]), jobs_list)):
            counts[(index, file)] = count

    names = [chr(ord("A") + n) if n < 26 else f"F{n}" for n in range(len(folders))]
    lines = []
    for name, folder, entries in zip(names, folders, manifests):
        compilers = sorted({entry["compiler"] or "?" for entry in entries.values()})
        lines.append(f"{name}: {shown_path(folder)} ({', '.join(compilers) or 'no executable'})")
    for program in wanted:
        files = list(dict.fromkeys(file for entries in manifests for file, entry in entries.items()
                                   if entry["program"] == program))
        if not files:
            continue
        rows = []
        for file in sorted(files):
            row = [file, "instructions"]
            for index, entries in enumerate(manifests):
                if file not in entries:
                    row.append("-")
                elif not callgrind:
                    row.append("not counted")
                elif entries[file]["elf"]["machine"] != host:
                    row.append(f"not counted ({entries[file]['elf']['machine']})")
                else:
                    row.append(millions(counts.get((index, file))))
            rows.append(row)
            for routine in ROUTINES[program]:
                row = ["", routine]
                for entries in manifests:
                    entry = entries.get(file)
                    found = next((r for r in entry["routines"] if r["name"] == routine), None) if entry else None
                    row.append(where_went(found) if entry else "-")
                rows.append(row)
        header = ["", ""] + names
        widths = [max(len(row[i]) for row in rows + [header]) for i in range(len(header))]
        lines.append("")
        lines.append(f"{program}, on {inputs[program][1]} (instructions: callgrind's total Ir of the run; bytes of "
                     "each routine, where it went)")
        for row in [header] + rows:
            lines.append("  ".join(value.ljust(width) for value, width in zip(row, widths)).rstrip())
    return "\n".join(lines)


# --- reading reports -------------------------------------------------------

def summary_fields(argv):
    """summary REPORT KEY ...: the keys' values in the report's summary line,
    tab-separated; tests as passed/skipped/failed, nothing known as "-"."""
    if len(argv) < 2:
        sys.exit("usage: tools/judge summary REPORT KEY ...")
    summary = None
    for line in Path(argv[0]).read_text().splitlines():
        record = json.loads(line)
        if record.get("record") == "summary":
            summary = record
    values = []
    for key in argv[1:]:
        value = (summary or {}).get(key)
        if key == "tests" and value:
            value = f"{value['passed']}/{value['skipped']}/{value['failed']}"
        values.append("-" if value is None else str(value))
    print("\t".join(values))
    return 0 if summary else 1


def tag(argv):
    """tag KEY VALUE: every JSON line of standard input with the field in front."""
    if len(argv) != 2:
        sys.exit("usage: tools/judge tag KEY VALUE <REPORT >TAGGED")
    for line in sys.stdin:
        if line.strip():
            print(json.dumps({argv[0]: argv[1], **json.loads(line)}))
    return 0


def main():
    """tools/judge compare|report|summary|tag ARGUMENTS: the parts the
    project's scripts use."""
    commands = {"compare": compare, "report": report, "summary": summary_fields, "tag": tag}
    if len(sys.argv) < 2 or sys.argv[1] not in commands:
        sys.exit("usage: tools/judge compare|report|summary|tag ...")
    return commands[sys.argv[1]](sys.argv[2:])

