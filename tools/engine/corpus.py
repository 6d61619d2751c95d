"""A corpus of the suite's programs built by a matrix of compilers, machines
and option sets, every binary verified before it joins, and the ground
truth of every function, inlined copy and line in one SQLite database.

A cell is one compiler x machine x option set: each program built once
with those options (or at the suite's own levels for the option set
"suite").  Each cell is one job of GNU parallel (cell_job(), run by
`tools/corpus --cell`), local or on another host through --sshlogin; the
job builds in a folder of its own, verifies the labels and the behaviour
of every binary, strips the copies the matrix asks for, reads the ground
truth and packs all of it, its record included, into one tar file
OUT/incoming/<cell>.tar (on another host in its login folder, which
parallel's --return brings back).  The one writer, the run that started
parallel (run()), unpacks each finished cell into OUT and imports its
record in one transaction: the database is never half-written, and a cell
is done only once its rows are in.  See docs/corpus.md."""

import base64
import bisect
import datetime
import fcntl
import hashlib
import io
import json
import os
import re
import shlex
import shutil
import signal
import socket
import sqlite3
import sysconfig
import subprocess
import sys
import tarfile
import tempfile
import time
import tomllib
from dataclasses import asdict, dataclass

from . import build as builder
from . import judge, manifest
from .binary import Binary, BinaryError, code_functions, machine_for
from .programs import ROOT, ROUTINES, programs as suite_programs

# The time a cell may take by default before parallel stops it, seconds.
CELL_TIMEOUT = 1800
MATRIX_KEYS = {"compilers", "machines", "options", "stripped", "programs", "remarks", "options_for", "timeout",
               "jobs", "debug"}
# Strings that name a compiler, its flags or the suite's label: none may
# be left in a stripped copy.
NAMING = [b"GCC: (", b"clang version", b"GNU C++", b"GNU GIMPLE", b".suite.flags", b".comment", b"-std=c++20",
          b"-fno-rtti", b".gnu_debuglink"]

class CorpusError(Exception):
    """What ends a run with one line: a bad matrix, a missing compiler, an
    OUT that cannot be written."""


class CellFailure(Exception):
    """A cell that cannot be made; its reason in one line."""


# --- the matrix ------------------------------------------------------------

def slug(text):
    """A part of a cell's name: "-O2 -fno-pie" as "O2_fno-pie"."""
    return judge.option_slug(text)


@dataclass
class Cell:
    """One compiler x machine x option set of the matrix."""
    compiler: str  # as the matrix names it: "g++-12", "clang++-16", a path
    machine: str  # a GNU triple
    options: str  # "-O2 -fno-inline", or "suite" for the suite's own levels
    programs: list = None  # the programs to build, None for all
    stripped: bool = True
    remarks: bool = True
    debug: bool = True
    jobs: int = 1  # builds and runs at once within the cell
    work: str = None  # where the cell builds (default: the temporary folder of the host)

    @property
    def name(self):
        return f"{slug(os.path.basename(self.compiler))}__{self.machine}__{slug(self.options)}"

    def encoded(self):
        return base64.urlsafe_b64encode(json.dumps(asdict(self), sort_keys=True).encode()).decode()

    @classmethod
    def decoded(cls, text):
        try:
            return cls(**json.loads(base64.urlsafe_b64decode(text.encode())))
        except (ValueError, TypeError) as error:
            raise CorpusError(f"not a cell: {text[:40]}... ({error})")


def strings(matrix, key, where, default=None):
    value = matrix.get(key, default)
    if isinstance(value, str):
        value = [value]
    if not isinstance(value, list) or not value or not all(isinstance(item, str) for item in value):
        raise CorpusError(f"{where}: {key} must be a list of strings")
    return value


def load_matrix(path, jobs=1):
    """The cells of a matrix file, in the order compiler, machine, option set."""
    try:
        with open(path, "rb") as f:
            matrix = tomllib.load(f)
    except (tomllib.TOMLDecodeError, UnicodeDecodeError) as error:
        raise CorpusError(f"{path}: not a TOML file ({error})")
    except OSError as error:
        raise CorpusError(f"{path}: cannot be read ({error.strerror})")
    unknown = sorted(set(matrix) - MATRIX_KEYS)
    if unknown:
        raise CorpusError(f"{path}: unknown key {unknown[0]} (known: {', '.join(sorted(MATRIX_KEYS))})")
    compilers = strings(matrix, "compilers", path)
    machines = strings(matrix, "machines", path)
    options = strings(matrix, "options", path, ["suite"])
    options_for = matrix.get("options_for", {})
    if not isinstance(options_for, dict):
        raise CorpusError(f"{path}: options_for must be a table of compiler = [option sets]")
    for compiler in options_for:
        if compiler not in compilers:
            raise CorpusError(f"{path}: options_for names {compiler}, which compilers does not list")
    options_for = {compiler: strings(options_for, compiler, f"{path}: options_for") for compiler in options_for}
    for key in ("stripped", "remarks", "debug"):
        if not isinstance(matrix.get(key, True), bool):
            raise CorpusError(f"{path}: {key} must be true or false")
    known = [program.name for program in suite_programs()]
    wanted = matrix.get("programs")
    if wanted is not None:
        wanted = strings(matrix, "programs", path)
        for name in wanted:
            if name not in known:
                raise CorpusError(f"{path}: no program {name} in the suite (programs: {' '.join(known)})")
    for machine in machines:
        if not re.fullmatch(r"[a-z0-9_]+(-[a-z0-9_.]+){1,3}", machine):
            raise CorpusError(f"{path}: unknown machine {machine!r}: give a GNU triple such as aarch64-linux-gnu")
        try:
            machine_for(machine)
        except BinaryError:
            raise CorpusError(f"{path}: unknown machine {machine!r}: no ELF machine is known for it")
    cells, names = [], {}
    for compiler in compilers:
        for machine in machines:
            for option_set in options + options_for.get(compiler, []):
                cell = Cell(compiler, machine, option_set.strip(), wanted, matrix.get("stripped", True),
                            matrix.get("remarks", True), matrix.get("debug", True), jobs)
                if cell.name in names:
                    raise CorpusError(f"{path}: two cells are named {cell.name}: {names[cell.name]} and "
                                      f"{compiler} {machine} {option_set}")
                names[cell.name] = f"{compiler} {machine} {option_set}"
                cells.append(cell)
    jobs_wanted = matrix.get("jobs")
    if jobs_wanted is not None and (not isinstance(jobs_wanted, int) or isinstance(jobs_wanted, bool)
                                    or jobs_wanted < 1):
        raise CorpusError(f"{path}: jobs must be a positive number")
    timeout = matrix.get("timeout", CELL_TIMEOUT)
    if not isinstance(timeout, (int, float)) or timeout <= 0:
        raise CorpusError(f"{path}: timeout must be a number of seconds")
    return cells, {"timeout": timeout, "jobs": matrix.get("jobs")}


def runner_for(triple):
    """The words put before a binary of the machine to run it here: [] for
    this machine's own and for i386 on x86-64, else qemu-user."""
    runner = judge.runner_for(triple)
    if runner and shutil.which(runner[0]) is None:
        raise CellFailure(f"no emulator to run {triple}'s binaries here ({runner[0]}: Debian's package qemu-user "
                          "brings it)")
    return runner


def check_compilers(cells):
    """{(compiler, machine): the reason it cannot build or run here} of the
    cells' pairs; BuildError's line names the Debian package that brings a
    missing compiler."""
    missing = {}
    for compiler, machine in dict.fromkeys((cell.compiler, cell.machine) for cell in cells):
        try:
            builder.find_compiler(compiler, None if machine == host_triple() else machine)
            runner_for(machine)
        except (builder.BuildError, CellFailure) as error:
            missing[(compiler, machine)] = str(error)
    return missing


def host_triple():
    """This machine's GNU triple, as Debian names its multiarch folders."""
    return sysconfig.get_config_var("MULTIARCH") or f"{os.uname().machine}-linux-gnu"


def target_of(cell):
    """The target to give the builder: None for this machine's own."""
    return None if cell.machine == host_triple() else cell.machine


# --- one cell ----------------------------------------------------------------

def expected_pie(words):
    """Whether the options ask for a position-independent executable: True,
    False, or None where they leave it to the compiler."""
    answer = None
    for word in words:
        if word in ("-no-pie", "-static", "-nopie"):
            answer = False
        elif word in ("-pie", "-static-pie"):
            answer = True
    return answer


def strip_copy(compiler, source, target):
    """A copy of `source` that names no compiler, flags or level: no symbol
    table beyond the dynamic one, no DWARF, no .comment, no .suite.flags,
    no debug link.  Returns the problems found reading it back."""
    done = subprocess.run([compiler.objcopy, "--strip-all", "--remove-section=.comment",
                           "--remove-section=.suite.flags", "--remove-section=.gnu_debuglink", source, target],
                          capture_output=True, text=True, errors="replace")
    if done.returncode != 0:
        return [f"{os.path.basename(compiler.objcopy)} failed: {(done.stderr.strip().splitlines() or [''])[-1]}"]
    problems = []
    copy, original = Binary(target), Binary(source)
    names = [section.name for section in copy.elf.iter_sections()]
    for name in names:
        if name in (".comment", ".suite.flags", ".gnu_debuglink", ".symtab", ".strtab") or name.startswith(
                (".debug", ".zdebug")):
            problems.append(f"section {name} left in the stripped copy")
    if copy.dwarf is not None or copy.suite_flags() or copy.debug_link():
        problems.append("debug information or labels left in the stripped copy")
    for text in NAMING:
        if text in copy.data:
            problems.append(f"{text.decode()!r} left in the stripped copy")
    if copy.loaded_digest() != original.loaded_digest():
        problems.append("the stripped copy does not load what its original loads")
    return problems


def ground_truth(path, program):
    """(functions, inlined, lines) of one binary, as the rows of the tables."""
    binary = Binary(path)
    rows = code_functions(binary, program, ROUTINES[program])
    functions = [[row.name, row.linkage_name, row.start, row.size, row.kind, row.file, row.line, row.section,
                  row.mode, row.source, row.size_from, row.part_of, row.routine, " ".join(row.aliases) or None]
                 for row in rows]
    starts = sorted((row.start, row.start + row.size, row.name) for row in rows if row.kind != "plt")
    keys = [start for start, _, _ in starts]

    def enclosing(address):
        index = bisect.bisect_right(keys, address) - 1
        return starts[index][0] if index >= 0 and address < starts[index][1] else None

    inlined = []
    for instance, copy in enumerate(binary.inlined()):
        for low, high in copy.ranges:
            inlined.append([copy.routine, copy.function, low, high, copy.call_file, copy.call_line, copy.depth,
                            copy.call_column, instance, copy.parent if copy.parent >= 0 else None,
                            enclosing(low), int(copy.in_program), copy.linkage_name or None])
    lines = [[row.address, row.file, row.line, row.column, int(row.end_sequence)] for row in binary.line_rows()]
    return functions, inlined, lines


def cell_job(cell, into, log=print):
    """Makes one cell and leaves it, whatever happened, as into/<cell>.tar.
    Returns whether the cell was made."""
    started = time.time()
    try:
        work = tempfile.mkdtemp(prefix="corpus-cell-", dir=cell.work)
    except OSError as error:
        raise CorpusError(f"{cell.work or tempfile.gettempdir()}: no folder for the cell ({error.strerror})")
    stage = os.path.join(work, "stage")
    record = {"cell": {**asdict(cell), "name": cell.name, "status": "failed", "reason": None,
                       "host": socket.gethostname(), "started": started, "seconds": None},
              "binaries": []}
    notes = []

    def note(message):
        notes.append(message)
        log(f"{cell.name}: {message}")

    try:
        made(cell, work, stage, record, note)
        record["cell"]["status"] = "done"
    except (CellFailure, builder.BuildError, BinaryError, CorpusError) as error:
        record["cell"]["reason"] = str(error)
    except OSError as error:
        record["cell"]["reason"] = f"{error.filename or ''}: {error.strerror}".lstrip(": ")
    except Exception as error:  # a cell's fault must not stop the others
        record["cell"]["reason"] = f"{type(error).__name__}: {error}"
    record["cell"]["seconds"] = round(time.time() - started, 3)
    if record["cell"]["status"] != "done":
        note(f"failed: {record['cell']['reason']}")
        record["binaries"] = []
        for folder in ("cells", "rejected"):
            shutil.rmtree(os.path.join(stage, folder), ignore_errors=True)
    try:
        os.makedirs(into, exist_ok=True)
        tar = os.path.join(into, cell.name + ".tar")
        with tarfile.open(tar + ".part", "w") as archive:
            for top in ("cells", "rejected"):
                if os.path.exists(os.path.join(stage, top)):
                    archive.add(os.path.join(stage, top), arcname=top)
            # The log and the record from memory (the cell's folder may be
            # what filled up), the record last: an archive is read in order.
            for member, text in ((f"logs/{cell.name}.log", "\n".join(notes) + "\n"),
                                 (f"records/{cell.name}.json", json.dumps(record))):
                data = text.encode()
                info = tarfile.TarInfo(member)
                info.size, info.mtime, info.mode = len(data), int(time.time()), 0o644
                archive.addfile(info, io.BytesIO(data))
        os.replace(tar + ".part", tar)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return record["cell"]["status"] == "done"


def made(cell, work, stage, record, note):
    """The body of a cell: build, verify, strip, read the ground truth."""
    target = target_of(cell)
    compiler = builder.find_compiler(cell.compiler, target)
    runner = runner_for(cell.machine)
    folder = os.path.join(work, "build")
    options = None if cell.options == "suite" else cell.options
    phases = {"build": time.monotonic()}
    built = builder.build(folder, cxx=cell.compiler, target=target, options=options, programs=cell.programs,
                          jobs=cell.jobs, remarks=cell.remarks, debug=cell.debug)
    if not built:
        raise CellFailure("nothing to build")
    broken = [item for item in built if not item.ok]
    if broken:
        said = [line.strip() for line in broken[0].log.splitlines() if line.strip()]
        # The compiler's first error, and how the step ended.
        error = next((line for line in said if re.search(r"\b(error|fatal)\b", line, re.I)), "")
        why = "; ".join(part for part in (error[:300], said[-1] if said else "") if part)
        raise CellFailure(f"{len(broken)} of {len(built)} not built; {broken[0].executable}: {why}")
    note(f"built {len(built)} with {compiler.label} ({compiler.command}) for {compiler.target}")
    files = [item.executable for item in built]
    phases["describe"] = time.monotonic()
    entries = {entry["file"]: entry for entry in manifest.describe_folder(folder, files, warn=note)}
    phases["judge"] = time.monotonic()
    verdicts = {result["file"]: result for result in judge.quick(
        folder, runner, executables=[(item.executable, item.program, item.build) for item in built], jobs=cell.jobs)}
    phases["record"] = time.monotonic()
    levels = {executable: [f"-{level}"] for program in suite_programs() for executable, _, level in program.builds}
    kept, rejected = os.path.join(stage, "cells", cell.name), os.path.join(stage, "rejected", cell.name)
    entries_of = {"cells": [], "rejected": []}
    for item in built:
        entry = entries[item.executable]
        words = levels[item.executable] if options is None else shlex.split(options)
        problems = manifest.label_problems(entry, cell.machine, compiler, words, debug=cell.debug)
        pie = expected_pie(words)
        binary_pie = Binary(item.path).pie
        if pie is not None and pie != binary_pie:
            problems.append(f"{'a' if binary_pie else 'not a'} position-independent executable, the options "
                            f"ask for {'one' if pie else 'none'}")
        verdict = verdicts[item.executable]
        first = None
        if problems:
            first = "labels: " + "; ".join(problems)
        elif verdict["verdict"] != "passed":
            difference = verdict["first_difference"]
            first = (f"{difference['input']}: {judge.described(difference)}" if difference
                     else f"behaviour: {verdict['verdict']}")
        verified = first is None
        home, top = (kept, "cells") if verified else (rejected, "rejected")
        os.makedirs(home, exist_ok=True)
        for suffix in ("", ".debug", ".remarks.jsonl"):
            if os.path.exists(item.path + suffix):
                shutil.move(item.path + suffix, os.path.join(home, item.executable + suffix))
        path = os.path.join(home, item.executable)
        if not verified:
            note(f"{item.executable} rejected: {first}")
            with open(path + ".difference.txt", "w") as f:
                f.write(first + "\n")
            with open(path + ".judged.json", "w") as f:
                json.dump({key: verdict[key] for key in ("verdict", "runs_compared", "differing_runs",
                                                          "first_difference")}, f, indent=1)
        entries_of[top].append(entry)
        functions, inlined, lines = ground_truth(path, item.program)
        row = {"key": len(record["binaries"]), "path": f"{top}/{cell.name}/{item.executable}",
               "sha256": entry["sha256"], "size": entry["size"], "program": item.program, "build": item.build,
               "compiler": cell.compiler, "compiler_kind": compiler.kind, "compiler_version": compiler.version,
               "machine": entry["elf"]["machine"], "triple": cell.machine, "elf_class": entry["elf"]["class"],
               "byte_order": entry["elf"]["byte_order"], "options": " ".join(words), "level": entry["level"],
               "flags": entry["flags"], "producer": entry["producer"], "stripped_of": None,
               "verified": int(verified), "first_difference": first, "pie": int(binary_pie),
               "loaded_sha256": entry["loaded_sha256"],
               "debug_file": f"{top}/{cell.name}/{item.executable}.debug" if entry["debug_info"] else None,
               "functions": functions, "inlined": inlined, "lines": lines}
        record["binaries"].append(row)
        if cell.stripped and verified:
            os.makedirs(os.path.join(kept, "stripped"), exist_ok=True)
            copy_path = os.path.join(kept, "stripped", item.executable)
            trouble = strip_copy(compiler, path, copy_path)
            if trouble:
                raise CellFailure(f"{item.executable}: {trouble[0]}")
            with open(copy_path, "rb") as f:
                data = f.read()
            record["binaries"].append({
                **{key: value for key, value in row.items() if key not in ("functions", "inlined", "lines")},
                "key": len(record["binaries"]), "path": f"cells/{cell.name}/stripped/{item.executable}",
                "sha256": hashlib.sha256(data).hexdigest(), "size": len(data), "stripped_of": row["key"],
                "debug_file": None, "functions": [], "inlined": [], "lines": []})
    for top, home in (("cells", kept), ("rejected", rejected)):
        if entries_of[top]:
            manifest.write_manifest(entries_of[top], os.path.join(home, "manifest.jsonl"))
    verified = sum(row["verified"] for row in record["binaries"] if row["stripped_of"] is None)
    note(f"verified {verified} of {len(built)}" + (", stripped copies made" if cell.stripped else ""))
    phases["end"] = time.monotonic()
    names = list(phases)
    record["cell"]["phases"] = {name: round(phases[following] - phases[name], 3)
                                for name, following in zip(names, names[1:])}


# --- the database ------------------------------------------------------------

SCHEMA = """
CREATE TABLE IF NOT EXISTS cells (
    name TEXT PRIMARY KEY, compiler TEXT, machine TEXT, options TEXT, status TEXT, reason TEXT,
    host TEXT, seconds REAL, binaries INTEGER, rejected INTEGER, recorded_at TEXT);
CREATE TABLE IF NOT EXISTS binaries (
    id INTEGER PRIMARY KEY, path TEXT UNIQUE, sha256 TEXT, size INTEGER, program TEXT, compiler TEXT,
    compiler_version TEXT, machine TEXT, elf_class INTEGER, byte_order TEXT, options TEXT,
    stripped_of INTEGER REFERENCES binaries(id), verified INTEGER, first_difference TEXT, pie INTEGER,
    same_bytes_as INTEGER REFERENCES binaries(id), same_code_as INTEGER REFERENCES binaries(id), split_key INTEGER,
    cell TEXT REFERENCES cells(name), triple TEXT, compiler_kind TEXT, build TEXT, level TEXT, flags TEXT,
    producer TEXT, loaded_sha256 TEXT, debug_file TEXT);
CREATE TABLE IF NOT EXISTS functions (
    binary_id INTEGER REFERENCES binaries(id), name TEXT, linkage_name TEXT, start INTEGER, size INTEGER,
    kind TEXT, file TEXT, line INTEGER, section TEXT, mode TEXT, source TEXT, size_from TEXT, part_of TEXT,
    routine TEXT, aliases TEXT);
CREATE TABLE IF NOT EXISTS inlined (
    binary_id INTEGER REFERENCES binaries(id), routine TEXT, function TEXT, low INTEGER, high INTEGER,
    call_file TEXT, call_line INTEGER, depth INTEGER, call_column INTEGER, instance INTEGER, parent INTEGER,
    function_start INTEGER, in_program INTEGER, linkage_name TEXT);
CREATE TABLE IF NOT EXISTS lines (
    binary_id INTEGER REFERENCES binaries(id), address INTEGER, file TEXT, line INTEGER, "column" INTEGER,
    end_sequence INTEGER);
CREATE INDEX IF NOT EXISTS functions_of ON functions(binary_id);
CREATE INDEX IF NOT EXISTS inlined_of ON inlined(binary_id);
CREATE INDEX IF NOT EXISTS lines_of ON lines(binary_id);
CREATE INDEX IF NOT EXISTS binaries_of ON binaries(cell);
CREATE INDEX IF NOT EXISTS binaries_by_code ON binaries(loaded_sha256);
CREATE INDEX IF NOT EXISTS binaries_by_bytes ON binaries(sha256);
"""
BINARY_COLUMNS = ["path", "sha256", "size", "program", "compiler", "compiler_version", "machine", "elf_class",
                  "byte_order", "options", "verified", "first_difference", "pie", "cell", "triple", "compiler_kind",
                  "build", "level", "flags", "producer", "loaded_sha256", "debug_file"]


def open_database(path):
    connection = sqlite3.connect(path, timeout=60, isolation_level=None)
    connection.executescript(SCHEMA)
    return connection


def split_key(loaded_sha256):
    """0..99 from the digest of what a binary loads: binaries of the same
    code (a stripped copy and its original, -O2 and -O3 alike) fall on the
    same side of any split by it."""
    return int(loaded_sha256[:8], 16) % 100


def import_record(connection, record):
    """Puts one cell's record in the database in one transaction, in place
    of what an earlier attempt of the cell left."""
    cell = record["cell"]
    binaries = record["binaries"]
    cursor = connection.cursor()
    cursor.execute("BEGIN IMMEDIATE")
    try:
        old = [row[0] for row in cursor.execute("SELECT id FROM binaries WHERE cell = ?", (cell["name"],))]
        digests = {row[0] for row in cursor.execute(
            "SELECT loaded_sha256 FROM binaries WHERE cell = ?", (cell["name"],))}
        hashes = {row[0] for row in cursor.execute("SELECT sha256 FROM binaries WHERE cell = ?", (cell["name"],))}
        for table in ("functions", "inlined", "lines"):
            cursor.executemany(f"DELETE FROM {table} WHERE binary_id = ?", [(i,) for i in old])
        cursor.execute("DELETE FROM binaries WHERE cell = ?", (cell["name"],))
        ids = {}
        for row in binaries:
            values = [row["path"], row["sha256"], row["size"], row["program"], row["compiler"],
                      row["compiler_version"], row["machine"], row["elf_class"], row["byte_order"], row["options"],
                      row["verified"], row["first_difference"], row["pie"], cell["name"], row["triple"],
                      row["compiler_kind"], row["build"], row["level"], row["flags"], row["producer"],
                      row["loaded_sha256"], row["debug_file"]]
            cursor.execute(f"INSERT INTO binaries ({', '.join(BINARY_COLUMNS)}, stripped_of, split_key) VALUES "
                           f"({', '.join('?' * len(BINARY_COLUMNS))}, ?, ?)",
                           values + [ids.get(row["stripped_of"]), split_key(row["loaded_sha256"])])
            ids[row["key"]] = binary_id = cursor.lastrowid
            cursor.executemany("INSERT INTO functions VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                               [(binary_id, *function) for function in row["functions"]])
            cursor.executemany("INSERT INTO inlined VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                               [(binary_id, *copy) for copy in row["inlined"]])
            cursor.executemany("INSERT INTO lines VALUES (?, ?, ?, ?, ?, ?)",
                               [(binary_id, *line) for line in row["lines"]])
            digests.add(row["loaded_sha256"])
            hashes.add(row["sha256"])
        # The first binary of the whole corpus with the same bytes, the same
        # code: null for the first itself.
        for column, key, values in (("same_bytes_as", "sha256", hashes), ("same_code_as", "loaded_sha256", digests)):
            cursor.executemany(
                f"UPDATE binaries SET {column} = (SELECT MIN(other.id) FROM binaries other WHERE other.{key} = "
                f"binaries.{key} AND other.id < binaries.id) WHERE {key} = ?", [(value,) for value in values])
        rejected = sum(1 for row in binaries if not row["verified"])
        cursor.execute("INSERT OR REPLACE INTO cells VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                       (cell["name"], cell["compiler"], cell["machine"], cell["options"], cell["status"],
                        cell["reason"], cell.get("host"), cell.get("seconds"), len(binaries), rejected,
                        datetime.datetime.now(datetime.timezone.utc).isoformat(timespec="seconds")))
        cursor.execute("COMMIT")
    except BaseException:
        cursor.execute("ROLLBACK")
        raise


def record_failure(connection, cell, reason):
    """A cell that left no record of its own (stopped, killed)."""
    import_record(connection, {"cell": {**asdict(cell), "name": cell.name, "status": "failed", "reason": reason,
                                        "host": None, "seconds": None}, "binaries": []})


# --- the run -----------------------------------------------------------------

def ensure_packages(*packages):
    """Installs missing Debian packages as tools/ensure_packages.sh does."""
    done = subprocess.run(["bash", "-c", 'source tools/ensure_packages.sh && ensure_packages "$@"', "corpus",
                           *packages], cwd=ROOT, stdout=subprocess.DEVNULL)
    if done.returncode != 0:
        raise CorpusError(f"the Debian packages {' '.join(packages)} are needed")


def unpack(out, tar, connection):
    """Moves a finished cell's files from its archive into OUT and imports
    its record; the archive goes last, so an interruption repeats this."""
    name = os.path.basename(tar)[:-len(".tar")]
    scratch = os.path.join(out, "incoming", name + ".unpacking")
    shutil.rmtree(scratch, ignore_errors=True)
    try:
        with tarfile.open(tar) as archive:
            members = archive.getmembers()
            for member in members:
                # Only files and folders below the archive's top.
                if not (member.isfile() or member.isdir()) or member.name.startswith("/") or \
                        ".." in member.name.split("/"):
                    raise tarfile.TarError(f"{member.name} is not a file of a cell")
            archive.extractall(scratch, members=members)
        with open(os.path.join(scratch, "records", name + ".json")) as f:
            record = json.load(f)
    except (tarfile.TarError, OSError, ValueError) as error:
        shutil.rmtree(scratch, ignore_errors=True)
        os.replace(tar, tar + ".damaged")
        return {"cell": {"name": name, "status": "failed", "reason": f"its archive cannot be read ({error})"}}
    for top in ("cells", "rejected"):
        shutil.rmtree(os.path.join(out, top, name), ignore_errors=True)
        if os.path.isdir(os.path.join(scratch, top, name)):
            os.makedirs(os.path.join(out, top), exist_ok=True)
            os.replace(os.path.join(scratch, top, name), os.path.join(out, top, name))
    for top, suffix in (("logs", ".log"), ("records", ".json")):
        os.makedirs(os.path.join(out, top), exist_ok=True)
        os.replace(os.path.join(scratch, top, name + suffix), os.path.join(out, top, name + suffix))
    import_record(connection, record)
    shutil.rmtree(scratch, ignore_errors=True)
    os.remove(tar)
    return record


def read_joblog(path):
    """{seq: the last line of the job} of parallel's joblog."""
    jobs = {}
    try:
        with open(path) as f:
            next(f, None)
            for line in f:
                fields = line.rstrip("\n").split("\t")
                if len(fields) >= 9 and fields[0].isdigit():
                    jobs[int(fields[0])] = {"host": fields[1], "runtime": float(fields[3]),
                                            "exit": int(fields[6]), "signal": int(fields[7])}
    except FileNotFoundError:
        pass
    return jobs


def done_cells(connection):
    return {name for (name,) in connection.execute("SELECT name FROM cells WHERE status = 'done'")}


def write_whole(path, text):
    with open(path + ".part", "w") as f:
        f.write(text)
    os.replace(path + ".part", path)


def run(matrix_path, out, jobs=None, timeout=None, sshlogins=(), slf=None, ssh=None, record_missing=False,
        cell_jobs=None, work=None, say=print):
    """Builds, verifies and records every cell of the matrix not yet done
    into OUT; returns the number of cells that failed."""
    cells, settings = load_matrix(matrix_path)
    jobs = jobs or settings["jobs"]
    if not jobs and not (sshlogins or slf):
        jobs = os.cpu_count() or 1
    # Over other hosts without -j, parallel runs as many cells on each as
    # it has cores, or N for a login N/host.
    cores = os.cpu_count() or 1
    inner = cell_jobs or (1 if not jobs or jobs >= cores else max(1, cores // jobs))
    for cell in cells:
        cell.jobs, cell.work = inner, work
    timeout = timeout or settings["timeout"]
    missing = check_compilers(cells)
    if missing and not record_missing:
        (compiler, machine), reason = next(iter(missing.items()))
        raise CorpusError(f"{matrix_path}: {compiler} for {machine}: {reason}")
    if shutil.which("parallel") is None or ((sshlogins or slf) and shutil.which("rsync") is None):
        ensure_packages("parallel", "rsync")
    try:
        os.makedirs(os.path.join(out, "incoming"), exist_ok=True)
        lock = open(os.path.join(out, ".lock"), "w")
    except OSError as error:
        raise CorpusError(f"{out}: cannot be written ({error.strerror})")
    try:
        fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
    except OSError:
        raise CorpusError(f"{out}: another run of the corpus is writing it")
    out = os.path.abspath(out)
    shutil.copyfile(matrix_path, os.path.join(out, "matrix.toml.part"))
    os.replace(os.path.join(out, "matrix.toml.part"), os.path.join(out, "matrix.toml"))
    try:
        connection = open_database(os.path.join(out, "corpus.sqlite"))
    except sqlite3.Error as error:
        raise CorpusError(f"{os.path.join(out, 'corpus.sqlite')}: {error}")

    def take_in(tar):
        try:
            record = unpack(out, tar, connection)
        except sqlite3.Error as error:
            raise CorpusError(f"{os.path.join(out, 'corpus.sqlite')}: {error}; {os.path.basename(tar)} stays in "
                              f"incoming/ for the next run")
        status = record["cell"]["status"]
        reason = record["cell"].get("reason")
        say(f"{record['cell']['name']}: {status}" + (f" ({reason})" if reason else "") + (
            f", {sum(1 for b in record.get('binaries', []) if b['stripped_of'] is None)} binaries, "
            f"{sum(1 for b in record.get('binaries', []) if not b['verified'])} rejected" if status == "done" else ""))

    for tar in sorted(glob_tars(out)):
        take_in(tar)
    done = done_cells(connection)
    for cell in cells:
        if (cell.compiler, cell.machine) in missing and cell.name not in done:
            record_failure(connection, cell, missing[(cell.compiler, cell.machine)])
    todo = [cell for cell in cells if cell.name not in done and (cell.compiler, cell.machine) not in missing]
    # The longest first, so that no long cell starts last: an emulated
    # machine's, then the unoptimised builds'.
    todo.sort(key=lambda cell: (machine_for(cell.machine) in (judge.host_machine(), "EM_386"),
                                not ("-O0" in cell.options.split() or cell.options == "suite")))
    if todo:
        run_parallel(out, todo, jobs, timeout, sshlogins, slf, ssh, take_in, connection, say)
    for tar in sorted(glob_tars(out)):
        take_in(tar)
    states = dict(connection.execute("SELECT name, status FROM cells"))
    failed = [cell.name for cell in cells if states.get(cell.name) != "done"]
    counts = connection.execute(
        "SELECT COUNT(*), SUM(verified), SUM(stripped_of IS NOT NULL) FROM binaries WHERE cell IN (%s)"
        % ",".join("?" * len(cells)), [cell.name for cell in cells]).fetchone()
    say(f"{len(cells) - len(failed)} of {len(cells)} cells done, {len(failed)} failed; "
        f"{(counts[0] or 0) - (counts[2] or 0)} binaries, {(counts[1] or 0) - (counts[2] or 0)} verified, "
        f"{counts[2] or 0} stripped copies, in {os.path.join(out, 'corpus.sqlite')}")
    connection.close()
    lock.close()
    return len(failed)


def glob_tars(out):
    folder = os.path.join(out, "incoming")
    return [os.path.join(folder, name) for name in os.listdir(folder) if name.endswith(".tar")]


def run_parallel(out, todo, jobs, timeout, sshlogins, slf, ssh, take_in, connection, say):
    """Runs the cells through GNU parallel, each finished cell taken in as
    soon as parallel reports it; the cells that left nothing are recorded
    failed with what the joblog says of them."""
    # OUT/cells.tsv and OUT/joblog go together: the joblog names the cells
    # by their line in cells.tsv.  While every cell to make is one of its
    # lines, the list is kept (the cells done since as "done", which the
    # job passes over) and parallel resumes from the joblog; otherwise a
    # new list and joblog begin, the old joblog kept in joblog.earlier.
    cells_file, joblog = os.path.join(out, "cells.tsv"), os.path.join(out, "joblog")
    previous = []
    if os.path.exists(cells_file):
        with open(cells_file) as f:
            previous = [line.split("\t")[0] for line in f.read().splitlines()]
    wanted = {cell.name: cell for cell in todo}
    resume = os.path.exists(joblog) and set(wanted) <= set(previous)
    if resume:
        names = previous
    else:
        names = list(wanted)
        if os.path.exists(joblog):
            with open(joblog) as old, open(joblog + ".earlier", "a") as kept:
                kept.write(old.read())
            os.remove(joblog)
    write_whole(cells_file, "".join(f"{name}\t{wanted[name].encoded() if name in wanted else 'done'}\n"
                                    for name in names))
    command = ["parallel", "--colsep", "\t", *(["-j", str(jobs)] if jobs else []), "--joblog", joblog,
               "--timeout", str(timeout), "--termseq", "TERM,2000,KILL,25"]
    if resume:
        command.append("--resume-failed")
    remote = bool(sshlogins or slf)
    if ssh:
        command += ["--ssh", ssh]
    for login in sshlogins:
        command += ["--sshlogin", login]
    if slf:
        command += ["--slf", slf]
    if remote:
        command += ["--return", "incoming/{1}.tar", "--cleanup"]
    command += [f"{shlex.quote(str(ROOT / 'tools' / 'corpus'))} --cell {{1}} {{2}}", "::::", cells_file]
    pace = ((f"{jobs} at a time" + (" on each host" if remote else "")) if jobs
            else "on each host as many as it has cores")
    say(f"{len(todo)} cells to make, {pace}" + (" (resuming)" if resume else "")
        + (f" over {', '.join(sshlogins) or slf}" if remote else ""))
    process = subprocess.Popen(command, cwd=out, stdout=subprocess.PIPE, text=True, errors="replace")
    try:
        for line in process.stdout:
            match = re.match(r"corpus-cell (\S+) (done|failed)", line)
            if match:
                tar = os.path.join(out, "incoming", match[1] + ".tar")
                if os.path.exists(tar):
                    take_in(tar)
            elif line.strip():
                say(line.rstrip("\n"))
    finally:
        process.wait()
    for tar in sorted(glob_tars(out)):
        take_in(tar)
    done = done_cells(connection)
    states = dict(connection.execute("SELECT name, reason FROM cells"))
    log = read_joblog(joblog)
    for seq, name in enumerate(names, 1):
        cell = wanted.get(name)
        if cell is None or cell.name in done:
            continue
        job = log.get(seq)
        if job is None:
            reason = "not run: the run was stopped before it"
        elif job["runtime"] >= timeout - 1 and job["exit"] != 0:
            reason = f"stopped at the time limit of {timeout:g} s"
        elif job["signal"] or job["exit"] < 0 or job["exit"] > 128:
            number = job["signal"] or (job["exit"] - 128 if job["exit"] > 128 else None)
            reason = f"killed by signal {number or 'unknown'} after {job['runtime']:.0f} s on {job['host']}"
        elif cell.name in states and states[cell.name]:
            continue  # the cell recorded its own reason
        else:
            reason = f"ended with exit status {job['exit']} on {job['host']}, leaving no record"
        record_failure(connection, cell, reason)
        say(f"{cell.name}: failed ({reason})")


def cell_main(name, encoded):
    """`tools/corpus --cell NAME CELL`: one cell, CELL its encoded description, into ./incoming/NAME.tar."""
    if encoded == "done":
        return 0  # made in an earlier run
    cell = Cell.decoded(encoded)
    if cell.name != name:
        raise CorpusError(f"the cell {name} is described as {cell.name}")

    def stop(number, frame):
        raise SystemExit(128 + number)

    signal.signal(signal.SIGTERM, stop)
    ok = cell_job(cell, os.path.abspath("incoming"), log=lambda message: print(message, file=sys.stderr))
    print(f"corpus-cell {name} {'done' if ok else 'failed'}", flush=True)
    return 0 if ok else 1
