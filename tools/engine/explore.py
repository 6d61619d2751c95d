"""What each build made of each source line: the explorer's reading of one
executable of the suite.

read(path) takes one executable and gives a Build: the program's own code
(every function whose DWARF entry lies in the program's compile unit, or
that holds a copy of one of its routines, common/suite.hpp's functions
compiled into the unit among them) disassembled, every instruction tied to
the source line the line table gives it and to the chain of calls that
inlined it (DW_TAG_inlined_subroutine, DW_AT_call_file and DW_AT_call_line,
innermost first), the instructions one run of the program's sample input
executed (callgrind), the fate of each routine as the manifest says, and
the compiler's remarks recorded beside the executable.

Without debug information the functions come from the symbol table and no
instruction is tied to a line; without a decoder for the machine the
routines' fates and sizes are all there is."""

import hashlib
import json
import os
import re
from dataclasses import dataclass, field

from .binary import Binary, BinaryError, code_functions, demangle, machine_for
from .disasm import Undecodable, decoder, machine_label
from .programs import ROOT, ROUTINES, parse_executable, program as suite_program
from . import explore_profile
from .manifest import describe as describe_entry

class ExploreError(Exception):
    """An executable that cannot be explored at all; one line."""


@dataclass
class Instr:
    address: int
    size: int
    text: str
    data: bytes
    function: int  # index in Build.functions
    file: str = None
    line: int = None
    chain: list = field(default_factory=list)  # [(name, call_file, call_line)], innermost first
    executed: int = None  # instructions executed here in the profiled run


@dataclass
class Build:
    """One executable as the explorer reads it."""
    path: str
    program: str
    build: str  # "b2", or None for a build made once per option set
    machine: str = ""
    machine_label: str = ""
    compiler: str = None
    level: str = None
    flags: str = None
    sha256: str = ""
    loaded_sha256: str = ""  # of what it loads: code and data
    debug: bool = False  # its DWARF was found and names the program's unit
    decodable: bool = True
    notes: list = field(default_factory=list)  # what a reader must know: one sentence each
    functions: list = field(default_factory=list)  # [{"name", "symbols", "ranges", "size", "file", "line"}]
    instructions: list = field(default_factory=list)  # [Instr] in address order
    routines: list = field(default_factory=list)  # the manifest's entries
    remarks: list = None  # [{...}] or None where none were recorded
    profiled: bool = False
    profile_note: str = ""
    profile_cached: bool = False
    input: str = None  # the sample the run read
    line_bytes: dict = field(default_factory=dict)  # where no instruction is decoded: bytes per line

    @property
    def executable(self):
        return os.path.basename(self.path)

    def lines(self):
        """{(file, line): {"n", "bytes", "ir", "via_n", "via_ir"}}: the
        instructions and bytes the line table gives the line, what they
        executed, and the instructions (and executed ones) of the copies
        inlined by a call on that line."""
        figures = {}
        for instr in self.instructions:
            if instr.file is not None:
                entry = figures.setdefault((instr.file, instr.line), {"n": 0, "bytes": 0, "ir": 0, "via_n": 0, "via_ir": 0})
                entry["n"] += 1
                entry["bytes"] += instr.size
                entry["ir"] += instr.executed or 0
            seen = set()
            for _, call_file, call_line in instr.chain:
                key = (call_file, call_line)
                if call_file is None or key in seen or key == (instr.file, instr.line):
                    continue
                seen.add(key)
                entry = figures.setdefault(key, {"n": 0, "bytes": 0, "ir": 0, "via_n": 0, "via_ir": 0})
                entry["via_n"] += 1
                entry["via_ir"] += instr.executed or 0
        for key, size in self.line_bytes.items():
            figures.setdefault(key, {"n": 0, "bytes": 0, "ir": 0, "via_n": 0, "via_ir": 0})["bytes"] += size
        return figures

    def code_bytes(self):
        return sum(function["size"] for function in self.functions)


def manifest_entries(folder):
    """{file: entry} of DIR/manifest.jsonl, {} where there is none."""
    found = {}
    try:
        with open(os.path.join(folder, "manifest.jsonl")) as f:
            for line in f:
                try:
                    entry = json.loads(line)
                    found[entry["file"]] = entry
                except (ValueError, KeyError, TypeError):
                    continue
    except OSError:
        pass
    return found


def read_remarks(path):
    """The remarks recorded beside an executable, or None."""
    try:
        with open(path + ".remarks.jsonl") as f:
            lines = f.read().splitlines()
    except OSError:
        return None
    remarks = []
    for line in lines:
        try:
            remark = json.loads(line)
        except ValueError:
            continue
        if isinstance(remark, dict):
            remarks.append({key: remark.get(key) for key in
                            ("kind", "pass", "function", "file", "line", "column", "message")})
    return remarks


def own_functions(binary, home):
    """[(Function, linkage name)] of the program's own code."""
    functions = binary.dwarf_functions()
    ours = [f for f in functions if f.in_program and f.ranges]
    copies = [c for c in binary.inlined() if c.in_program]
    for function in functions:
        if function in ours or not function.ranges:
            continue
        if any(lo <= low < hi for low, _ in (r for c in copies for r in c.ranges) for lo, hi in function.ranges):
            ours.append(function)
    unique = {}
    for function in ours:
        unique.setdefault(function.start, function)
    return sorted(unique.values(), key=lambda f: f.start)


def symbol_functions(binary, program):
    """Functions by the symbol table alone: every sized one but the C
    runtime's start-up code and the PLT's stubs, as engine.binary tells
    them apart."""
    unique = {}
    for function in code_functions(binary, None, ROUTINES[program]):
        if function.size and function.size_from == "symbol" and function.kind not in ("startup", "plt"):
            unique.setdefault(function.start, function)
    return sorted(unique.values(), key=lambda f: f.start)


def read(path, source_input=None, profile=True, cache=None, manifest=None):
    """The Build of one executable (raises ExploreError where it is not one
    of the suite's that can be read at all)."""
    file = os.path.basename(path)
    parsed = parse_executable(file)
    if parsed is None:
        raise ExploreError(f"{path}: not an executable of the suite (<program>_b<k> or <program>)")
    program, build_name = parsed
    try:
        with open(path, "rb") as f:
            data = f.read()
    except OSError as error:
        raise ExploreError(f"{path}: cannot be read ({error.strerror})")
    notes = []
    try:
        binary = Binary(path, data, warn=notes.append)
    except BinaryError as error:
        raise ExploreError(str(error))
    result = Build(path=path, program=program, build=build_name, machine=binary.machine,
                   machine_label=machine_label(binary), sha256=hashlib.sha256(data).hexdigest(),
                   loaded_sha256=binary.loaded_digest())
    result.notes = notes
    try:
        _read(binary, result, program, data, source_input, profile, cache, manifest)
    except (BinaryError, ExploreError) as error:
        raise ExploreError(str(error))
    except Exception as error:  # pyelftools raises many kinds on a damaged file
        raise ExploreError(f"{path}: cannot be read ({type(error).__name__}: {error})")
    return result


def _read(binary, result, program, data, source_input, profile, cache, manifest):
    path = result.path
    home = binary.read_program(program) if binary.dwarf else None
    # One note on the debug information: what was missing and what follows.
    found = [re.sub(r": symbols only$", "", note.replace(f"{result.executable}: ", "", 1)) for note in result.notes]
    result.notes = []
    why = f" ({'; '.join(found)})" if found else " (none in the executable, no debug link)"
    symbols = binary.symbols()
    stripped = binary.dwarf is None and not symbols
    if stripped:
        result.notes.append(f"stripped: no symbol table and no debug information{why}; the whole of .text is "
                            "shown, tied to no function or line")
    elif binary.dwarf is None:
        result.notes.append(f"no debug information{why}: functions by the symbol table, no instruction tied to "
                            "a source line")
    elif home is None:
        result.notes.append(f"the debug information has no unit of {program}.cpp: not this program's build; "
                            "functions by the symbol table, no instruction tied to a source line")
    result.debug = home is not None

    # The manifest's entry: the folder's own where it describes these bytes,
    # else computed by the same code.
    entries = manifest if manifest is not None else manifest_entries(os.path.dirname(path))
    entry = entries.get(result.executable)
    if entry is None or entry.get("sha256") != result.sha256:
        entry = describe_entry(os.path.dirname(path) or ".", result.executable, data, lambda _: None)
    result.routines = entry.get("routines", [])
    result.compiler, result.level, result.flags = entry.get("compiler"), entry.get("level"), entry.get("flags")
    result.remarks = read_remarks(path)

    if result.debug:
        chosen = own_functions(binary, home)
    else:
        chosen = symbol_functions(binary, program)
    by_start = {}
    for symbol in symbols:
        by_start.setdefault(symbol.start, []).append(symbol)
    # A function's name as the symbol table and DWARF give it: the symbol's
    # demangled where it is a C++ one (the static functions DWARF gives no
    # linkage name), else DWARF's linkage name, else its qualified name.
    def mangled_symbol(function):
        return next((s.name for s in by_start.get(function.start, [])
                     if s.name.startswith("_Z") and "." not in s.name), None)
    names = demangle([f.linkage_name for f in chosen] + [mangled_symbol(f) or "" for f in chosen]
                     + ([c.linkage_name for c in binary.inlined() if c.linkage_name] if result.debug else []))

    def function_name(function):
        symbol = mangled_symbol(function)
        if symbol:
            return names.get(symbol, symbol)
        if function.linkage_name.startswith("_Z"):
            return names.get(function.linkage_name, function.linkage_name)
        return function.qualified
    if not chosen and not symbols and not binary.dwarf:
        for name, start, size in binary.executable_sections():
            if name == ".text":
                result.functions.append({"name": ".text", "symbols": [".text"], "ranges": [(start, start + size)],
                                         "size": size, "file": None, "line": None, "mode": None})
    for function in chosen:
        ranges = function.ranges or [(function.start, function.start + function.size)]
        parts = []
        for start, _ in ranges:
            parts.append(next((s.name for s in by_start.get(start, [])), None))
        mode = next((s.mode for s in by_start.get(function.start, []) if s.mode), None)
        result.functions.append({"name": function_name(function),
                                 "symbols": parts, "ranges": ranges, "size": sum(e - s for s, e in ranges),
                                 "file": function.file, "line": function.line, "mode": mode})

    try:
        decode = decoder(binary)
    except Undecodable as error:
        result.decodable = False
        result.notes.append(f"{error}: no instructions are shown, only the functions, the bytes the line "
                            "table gives each line and the routines' fates and sizes")
        if result.debug:
            result.line_bytes = line_bytes(binary, result.functions)
        return
    line_of = binary.line_lookup() if result.debug else (lambda address: None)
    chain_of = binary.inlined_lookup() if result.debug else (lambda address: [])
    for index, function in enumerate(result.functions):
        for start, end in sorted(function["ranges"]):
            for instruction in decode.decode(start, end, function["mode"]):
                row = line_of(instruction.address)
                chain = [(names.get(c.linkage_name, c.linkage_name) if c.linkage_name else c.routine,
                          c.call_file, c.call_line) for c in chain_of(instruction.address)]
                result.instructions.append(Instr(instruction.address, instruction.size, instruction.text,
                                                 instruction.data, index, row[0] if row else None,
                                                 row[1] if row else None, chain))
    result.instructions.sort(key=lambda i: i.address)

    if profile:
        _profile(binary, result, symbols, source_input, cache)
    else:
        result.profile_note = "executed instructions not measured (no run under callgrind was asked for)"


def line_bytes(binary, functions):
    """{(file, line): bytes} of the functions' code by the line table alone,
    for a machine whose instructions cannot be decoded."""
    rows = binary.line_rows()
    ranges = [r for f in functions for r in f["ranges"]]
    found = {}
    for row, following in zip(rows, rows[1:]):
        if row.end_sequence or row.file is None or following.address <= row.address:
            continue
        for start, end in ranges:
            low, high = max(start, row.address), min(end, following.address)
            if high > low:
                key = (row.file, row.line)
                found[key] = found.get(key, 0) + high - low
    return found


def _profile(binary, result, symbols, source_input, cache):
    native = machine_for("")
    reason = explore_profile.valgrind_runs(binary.machine, native)
    if source_input is None:
        suite = suite_program(result.program)
        sample = ROOT / "samples" / f"{result.program}.in"
        source_input = str(sample) if suite is not None and sample.exists() else None
    if reason is None and source_input is None:
        reason = f"no sample input samples/{result.program}.in"
    if reason is not None:
        result.profile_note = f"executed instructions not measured: {reason}"
        return
    result.input = os.path.relpath(source_input, ROOT) if str(source_input).startswith(str(ROOT)) else source_input
    try:
        counts, result.profile_cached = explore_profile.profile(result.path, source_input, cache,
                                                                loaded=result.loaded_sha256)
    except explore_profile.ProfileError as error:
        result.profile_note = f"executed instructions not measured: {error}"
        return
    main = next((s.start for s in symbols if s.name == "main"), None)
    offset = explore_profile.load_offset(counts, main)
    if offset is None:
        result.profile_note = ("executed instructions not measured: the profile's addresses match no function "
                               "of the executable (no count at main's first instruction)")
        return
    starts = {i.address: i for i in result.instructions}
    low = min((s for f in result.functions for s, _ in f["ranges"]), default=0)
    high = max((e for f in result.functions for _, e in f["ranges"]), default=0)
    stray = 0
    for address, count in counts.items():
        address -= offset
        instr = starts.get(address)
        if instr is not None:
            instr.executed = count
        elif low <= address < high:
            stray += 1
    for instr in result.instructions:
        if instr.executed is None:
            instr.executed = 0
    result.profiled = True
    if stray:
        result.profile_note = f"{stray} addresses of the profile fall on no instruction start of the program's code"


def instruction_records(build):
    """The --json records: one dict per instruction."""
    names = [function["name"] for function in build.functions]
    for instr in build.instructions:
        yield {"address": hex(instr.address), "size": instr.size, "text": instr.text,
               "function": names[instr.function], "file": instr.file, "line": instr.line,
               "inlined": [{"name": name, "call_file": call_file, "call_line": call_line}
                           for name, call_file, call_line in instr.chain]}
