"""The reports of a judging in the formats toolchain testers already read,
and the readers of two of them for tools/compare_reports.

Every writer takes the judge's records (one dict per executable: set,
file, verdict, first_difference, metrics, note, failure) and writes its
file whole or not at all.

- lit's result format (lit JSON): "__version__", "elapsed" and one test per
  executable named "console-suite :: <option set> :: <executable>", code
  PASS, FAIL or UNSUPPORTED, its metrics exec_time, size..text, hash and
  compile_time where measured;
- LNT's report format 2: "format_version" "2", the machine, the run and one
  test per executable named "console-suite.<option set>.<executable>" with
  execution_time (every run of the sample), compile_time, code_size, hash
  and execution_status (0 passed, 1 failed);
- JUnit XML: one testsuite per option set, one testcase per executable, a
  failure element with the first difference and the failure report."""

import json
import os
import platform
import socket
import time
import xml.etree.ElementTree as ET

SUITE = "console-suite"
# The release of lit whose result format is written: LLVM 16's.
LIT_VERSION = [16, 0, 0]
# A metric of the judge's records, as lit and LNT name it.
LIT_METRICS = ("exec_time", "size..text", "hash", "compile_time")
CODES = {"passed": "PASS", "unsupported": "UNSUPPORTED"}


class ReportError(Exception):
    """A report that cannot be read or written; one line naming the file."""


def code_of(record):
    """lit's code of a record: PASS, FAIL (a difference, a build that
    failed, a file that cannot run) or UNSUPPORTED."""
    return CODES.get(record["verdict"], "FAIL")


def output_of(record):
    """What lit's "output" says: the first difference, why it failed, and
    what was not measured."""
    from .judge import described
    lines = []
    first = record.get("first_difference")
    if first:
        lines.append(f"{record['differing_runs']} of {record['runs_compared']} runs differ, first on "
                     f"{first['input']} {described(first)}")
    elif record["verdict"] not in ("passed", "unsupported"):
        lines.append(record["verdict"])
    if record.get("shares_verdict_of"):
        lines.append(f"the code of {record['shares_verdict_of']}, whose verdict it shares")
    failure = record.get("failure") or {}
    if failure.get("reproduce"):
        lines.append(f"reproduce: {failure['reproduce']}")
    if failure.get("fails_and_passes"):
        lines.append(failure["fails_and_passes"])
    if record.get("note"):
        lines.append(record["note"])
    return "\n".join(lines)


def write_whole(path, text):
    """Writes the file through a temporary one beside it."""
    partial = f"{path}.part"
    try:
        folder = os.path.dirname(os.path.abspath(path))
        os.makedirs(folder, exist_ok=True)
        with open(partial, "w") as out:
            out.write(text)
        os.replace(partial, path)
    except OSError as error:
        try:
            os.remove(partial)
        except OSError:
            pass
        raise ReportError(f"cannot write {path}: {error.strerror}")


def lit_json(records, elapsed):
    tests = []
    for record in records:
        metrics = {name: record["metrics"][name] for name in LIT_METRICS if name in record["metrics"]}
        tests.append({"name": f"{SUITE} :: {record['set']} :: {record['file']}", "code": code_of(record),
                      "elapsed": record["seconds"], "output": output_of(record), "metrics": metrics})
    return json.dumps({"__version__": LIT_VERSION, "elapsed": round(elapsed, 3), "tests": tests}, indent=1) + "\n"


def lnt_time(seconds):
    return time.strftime("%Y-%m-%d %H:%M:%S", time.localtime(seconds))


def lnt_report(records, started, ended, compiler, runner):
    """LNT's report format 2. compiler: engine.judge.compiler_facts(), or
    None when the folder was built elsewhere."""
    machine = {"name": socket.gethostname(), "hardware": platform.machine(),
               "os": f"{platform.system()} {platform.release()}"}
    run = {"start_time": lnt_time(started), "end_time": lnt_time(ended)}
    if compiler:
        machine.update(compiler=compiler["label"], compiler_target=compiler["target"])
        run.update(compiler_version=compiler["version_line"], compiler=compiler["command"])
    else:
        recorded = sorted({record.get("recorded_compiler") or "?" for record in records})
        machine["compiler"] = ", ".join(recorded)
        run["compiler_version"] = ", ".join(recorded)
    if runner:
        run["runner"] = " ".join(runner)
    tests = []
    for record in records:
        test = {"name": f"{SUITE}.{record['set']}.{record['file']}"}
        metrics = record["metrics"]
        if record.get("exec_times"):
            test["execution_time"] = list(record["exec_times"])
        if "compile_time" in metrics:
            test["compile_time"] = [metrics["compile_time"]]
        if "size..text" in metrics:
            test["code_size"] = [metrics["size..text"]]
        if "hash" in metrics:
            test["hash"] = metrics["hash"]
        if record["verdict"] != "unsupported":
            test["execution_status"] = 0 if record["verdict"] == "passed" else 1
        tests.append(test)
    return json.dumps({"format_version": "2", "machine": machine, "run": run, "tests": tests}, indent=1) + "\n"


def junit_xml(records, elapsed, failure_text):
    """JUnit XML; failure_text(record) words a failure report for people."""
    suites = ET.Element("testsuites", name=SUITE, tests=str(len(records)), time=f"{elapsed:.3f}",
                        failures=str(sum(code_of(record) == "FAIL" for record in records)))
    for label in dict.fromkeys(record["set"] for record in records):
        members = [record for record in records if record["set"] == label]
        suite = ET.SubElement(suites, "testsuite", name=f"{SUITE} :: {label}", tests=str(len(members)),
                              failures=str(sum(code_of(record) == "FAIL" for record in members)),
                              skipped=str(sum(code_of(record) == "UNSUPPORTED" for record in members)),
                              time=f"{sum(record['seconds'] for record in members):.3f}")
        for record in members:
            case = ET.SubElement(suite, "testcase", classname=f"{SUITE}.{label}", name=record["file"],
                                 time=f"{record['seconds']:.3f}")
            code = code_of(record)
            if code == "FAIL":
                failure = ET.SubElement(case, "failure", message=output_of(record).split("\n")[0])
                failure.text = failure_text(record) if record.get("failure") else output_of(record)
            elif code == "UNSUPPORTED":
                ET.SubElement(case, "skipped", message=record.get("note") or "unsupported")
            if record.get("note"):
                ET.SubElement(case, "system-out").text = record["note"]
    ET.indent(suites)
    return '<?xml version="1.0" encoding="UTF-8"?>\n' + ET.tostring(suites, encoding="unicode") + "\n"


# --- reading ---------------------------------------------------------------

def split_name(name, separator):
    """("<option set>", "<executable>") of a test of the suite, else (None, name)."""
    prefix = SUITE + separator
    if name.startswith(prefix) and separator in name[len(prefix):]:
        options, executable = name[len(prefix):].rsplit(separator, 1)
        return options, executable
    return None, name


def read_results(path):
    """The tests of a lit JSON file or an LNT report: ("lit" or "lnt",
    {key: {"name", "code", "metrics": {"exec_time", "size..text"}}}); a key
    is the same test in either format.  Raises ReportError."""
    try:
        with open(path) as file:
            text = file.read()
    except FileNotFoundError:
        raise ReportError(f"no such file: {path}")
    except (OSError, UnicodeDecodeError) as error:
        raise ReportError(f"cannot read {path}: {getattr(error, 'strerror', None) or error}")
    try:
        data = json.loads(text)
    except json.JSONDecodeError as error:
        raise ReportError(f"{path}: neither lit's JSON nor an LNT report (not JSON: {error.msg} at line {error.lineno})")
    if isinstance(data, dict) and isinstance(data.get("tests"), list) and "__version__" in data:
        return "lit", lit_tests(path, data["tests"])
    if isinstance(data, dict) and str(data.get("format_version")) == "2" and isinstance(data.get("tests"), list):
        return "lnt", lnt_tests(path, data["tests"])
    raise ReportError(f"{path}: neither lit's JSON (__version__ and tests) nor an LNT report (format_version 2)")


def number(value):
    return value if isinstance(value, (int, float)) and not isinstance(value, bool) else None


def lit_tests(path, tests):
    found = {}
    for test in tests:
        if not (isinstance(test, dict) and isinstance(test.get("name"), str) and isinstance(test.get("code"), str)):
            raise ReportError(f"{path}: a test of lit's JSON without a name and a code")
        options, executable = split_name(test["name"], " :: ")
        metrics = test.get("metrics") if isinstance(test.get("metrics"), dict) else {}
        found[(options, executable)] = {
            "name": test["name"] if options is None else f"{options} :: {executable}", "code": test["code"],
            "metrics": {name: number(metrics.get(name)) for name in ("exec_time", "size..text")
                        if number(metrics.get(name)) is not None}}
    return found


def lnt_tests(path, tests):
    found = {}
    for test in tests:
        if not (isinstance(test, dict) and isinstance(test.get("name"), str)):
            raise ReportError(f"{path}: a test of the LNT report without a name")
        options, executable = split_name(test["name"], ".")
        status = test.get("execution_status", 0)
        status = status[0] if isinstance(status, list) and status else status
        metrics = {}
        for lnt, name in (("execution_time", "exec_time"), ("code_size", "size..text")):
            values = test.get(lnt)
            values = values if isinstance(values, list) else [values]
            values = [value for value in map(number, values) if value is not None]
            if values:
                # Every run is listed; the fastest is the figure.
                metrics[name] = min(values)
        found[(options, executable)] = {
            "name": test["name"] if options is None else f"{options} :: {executable}",
            "code": "PASS" if status in (0, None) else "FAIL", "metrics": metrics}
    return found
