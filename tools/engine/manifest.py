"""The manifest of a folder of the suite's executables: for every
executable one JSON object telling what the file is (digest, ELF class,
byte order, machine, the other executables of the folder with the same
bytes or the same loaded code and data), which compiler and flags built it
(the DWARF producer, or the .suite.flags section the build adds) and where
each routine of the program's source went: kept as a function, inlined into
other functions, or gone.  Read through engine.binary."""

import hashlib
import json
import os
import re

from .binary import Binary, BinaryError, machine_for, routine_of_symbol
from .programs import ROUTINES, parse_executable


def symbol_functions(binary):
    """{routine name: (address, size)} of the functions the symbol table
    defines; clones (name.constprop.0, .isra.0, .part.0) count, cold parts
    (name.cold) do not."""
    found = {}
    for symbol in binary.symbols():
        name = routine_of_symbol(symbol.name)
        if name is None:
            continue
        if name not in found or "." not in symbol.name:
            found[name] = (symbol.start, symbol.size)
    return found


def hexed(ranges):
    """The union of ranges, as sorted pairs of hexadecimal strings: copies
    inlined within copies overlap."""
    union = []
    for start, end in sorted(ranges):
        if union and start <= union[-1][1]:
            union[-1][1] = max(union[-1][1], end)
        else:
            union.append([start, end])
    return [[hex(start), hex(end)] for start, end in union]


def routine_entries(program, binary, home):
    """The "routines" list of an executable."""
    entries = []
    if home is None:
        symbols = symbol_functions(binary)
        for name in ROUTINES[program]:
            if name in symbols:
                address, size = symbols[name]
                entries.append({"name": name, "where": "function (no debug information)",
                                "function": {"address": hex(address), "size": size}, "inlined": None})
            else:
                entries.append({"name": name, "where": "not found (no debug information)",
                                "function": None, "inlined": None})
        return entries
    functions, inlined = {}, {}
    for function in binary.dwarf_functions():
        if function.in_program:
            functions.setdefault(function.name, []).append(function)
    for copy in binary.inlined():
        if copy.in_program:
            inlined.setdefault(copy.routine, {}).setdefault(copy.function, []).extend(copy.ranges)
    for name in ROUTINES[program]:
        function = None
        if name in functions:
            # The first copy is the function itself (clones follow it): the
            # address of its first part, the size of all its parts.
            first = functions[name][0]
            function = {"address": hex(first.start), "size": first.size}
        copies = [{"into": into, "ranges": hexed(ranges)} for into, ranges in inlined.get(name, {}).items()]
        where = " and ".join(kind for kind, present in (("function", function), ("inlined", copies)) if present)
        entries.append({"name": name, "where": where or "gone", "function": function, "inlined": copies})
    return entries


def describe(folder, file, data, warn):
    """The manifest entry of one executable, whose bytes are `data`."""
    program, build = parse_executable(file)
    binary = Binary(os.path.join(folder, file), data, warn=warn)
    given = binary.suite_flags()
    home = binary.read_program(program) if binary.dwarf else None
    if binary.dwarf is not None and home is None:
        warn(f"{file}: the debug information has no unit of {program}.cpp: symbols only")
    producer = binary.producer(home)
    compiler = flags = flags_from = None
    if producer:
        compiler, _, flags = re.match(r"(.*?)(\s+(-.*))?$", producer).group(1, 2, 3)
        flags_from = "DW_AT_producer" if flags else None
    if given and not compiler:
        compiler = given["compiler"]
    if given and not flags:
        flags, flags_from = given["flags"], ".suite.flags"
    levels = re.findall(r"(?:^|\s)-(O\S*)", flags or "")
    return {
        "file": file,
        "program": program,
        "build": build,
        "sha256": hashlib.sha256(data).hexdigest(),
        "size": len(data),
        "elf": {"class": binary.elf_class, "byte_order": binary.byte_order, "machine": binary.machine},
        "debug_info": binary.debug_name,
        "producer": producer,
        "compiler": compiler,
        "flags": flags,
        "flags_from": flags_from,
        "level": levels[-1] if levels else None,
        "given": given,
        "identical_to": [],
        "loaded_sha256": binary.loaded_digest(),
        "same_code_as": [],
        "routines": routine_entries(program, binary, home),
    }


def executables(folder):
    """The names of the suite's executables in a folder, sorted."""
    found = []
    for file in sorted(os.listdir(folder)):
        path = os.path.join(folder, file)
        if parse_executable(file) and os.path.isfile(path):
            with open(path, "rb") as f:
                if f.read(4) == b"\x7fELF":
                    found.append(file)
    return found


def summary(entry):
    """One line for a person: level, compiler, machine, and where the routines went."""
    went = {}
    for routine in entry["routines"]:
        went.setdefault(routine["where"], []).append(routine["name"])
    debug = entry["debug_info"] or "no debug information"
    return (f"{entry['file']:20} {entry['level'] or '?':5} {entry['compiler'] or '?'} ({entry['elf']['machine']}, "
            f"{debug}): " + "; ".join(f"{where}: {' '.join(names)}" for where, names in went.items()))


def describe_folder(folder, files=None, warn=None):
    """The manifest entries of the folder's executables (default: all of
    them), with the other executables of the same bytes and code filled in.
    Raises BinaryError for a file that cannot be read."""
    warn = warn or (lambda message: None)
    entries = []
    for file in files if files is not None else executables(folder):
        with open(os.path.join(folder, file), "rb") as f:
            data = f.read()
        try:
            entries.append(describe(folder, file, data, warn))
        except BinaryError:
            raise
        except Exception as error:  # pyelftools raises many kinds on a damaged file
            raise BinaryError(f"{file}: cannot be read ({type(error).__name__}: {error})")
    for entry in entries:
        for key, same in (("identical_to", "sha256"), ("same_code_as", "loaded_sha256")):
            entry[key] = [other["file"] for other in entries if other[same] == entry[same] and other is not entry]
    return entries


def write_manifest(entries, output):
    """Writes the entries as JSON lines, whole or not at all."""
    partial = output + ".part"
    with open(partial, "w") as f:
        for entry in entries:
            f.write(json.dumps(entry) + "\n")
    os.replace(partial, output)


# --- the labels against what built the executable ------------------------------

# The compiler's switches that g++ records in DW_AT_producer (as
# tests/check_manifest.py reads them): code generation, debug information,
# the language standard.
RECORDED = re.compile(r"-(O|g|std=|m(?!(arch|tune|cpu)=native)|f(?!(file|debug|macro|profile)-prefix-map))")
# The first words of the triples of big-endian machines.
BIG_ENDIAN = re.compile(r"(aarch64_be|arm.*eb|mips|mips64|mipsisa.*r6|powerpc|powerpc64|s390x?|sparc.*|hppa.*|m68k"
                        r"|sh.*eb)")


def expected_class(triple):
    arch = triple.split("-")[0]
    if triple.endswith("gnux32") or triple.endswith("gnuabin32"):
        return 32
    return 64 if re.fullmatch(r"x86_64|aarch64(_be)?|.*64(el|le)?|s390x|sparcv9|alpha", arch) else 32


def last_level(words):
    levels = [word for word in words if word.startswith("-O")]
    return levels[-1][1:] if levels else None


def label_problems(entry, triple, compiler, wanted_flags, debug=True):
    """What an executable's labels (its manifest entry, read from the
    executable) say against what built it: the machine of the triple, the
    compiler (an engine.build.Compiler) and the flags that took the place of
    the level, as tests/check_manifest.py checks a build; [] when they agree."""
    problems = []
    machine = machine_for(triple)
    if entry["elf"]["machine"] != machine:
        problems.append(f"machine {entry['elf']['machine']}, the cell's is {machine}")
    if entry["elf"]["class"] != expected_class(triple):
        problems.append(f"ELF class {entry['elf']['class']}, {triple} has {expected_class(triple)}")
    order = "big" if BIG_ENDIAN.fullmatch(triple.split("-")[0]) else "little"
    if entry["elf"]["byte_order"] != order:
        problems.append(f"byte order {entry['elf']['byte_order']}, {triple} is {order}")
    given = entry["given"] or {}
    if given.get("compiler") != compiler.label:
        problems.append(f".suite.flags names {given.get('compiler')!r}, the cell's compiler is {compiler.label}")
    producer = entry["producer"] or ""
    if debug:
        named = producer.startswith("GNU ") if compiler.kind == "GNU" else "clang" in producer.lower()
        versioned = re.search(rf"(?<![\d.]){re.escape(compiler.version)}(?!\d)", producer)
        if not (named and versioned):
            problems.append(f"producer {producer!r} is not {compiler.label}")
    given_flags = (given.get("flags") or "").split()
    if given_flags[len(given_flags) - len(wanted_flags):] != wanted_flags:
        problems.append(f".suite.flags gives {given.get('flags')!r}, the cell gave {' '.join(wanted_flags)}")
    if entry["level"] != last_level(wanted_flags) and last_level(wanted_flags) is not None:
        problems.append(f"level {entry['level']} read from {entry['flags_from']}, the cell gave "
                        f"{last_level(wanted_flags)}")
    if compiler.kind == "GNU" and debug and entry["flags_from"] == "DW_AT_producer":
        switches = (entry["flags"] or "").split()
        missing = [flag for flag in wanted_flags if RECORDED.match(flag) and not flag.startswith("-O")
                   and flag not in switches and flag.split("=")[0] not in switches]
        if missing:
            problems.append(f"the producer does not record {' '.join(missing)}")
    if debug and entry["debug_info"] != entry["file"] + ".debug":
        problems.append(f"debug information from {entry['debug_info']}, not {entry['file']}.debug")
    return problems
