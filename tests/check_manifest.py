#!/usr/bin/python3
"""Check that the manifest of a folder of the suite's executables tells the truth.

    tests/check_manifest.py DIR --build-tree TREE

TREE is the CMake build tree that built DIR.  What CMake gave comes from
TREE (CMakeCache.txt, CMakeFiles/<version>/CMakeCXXCompiler.cmake) and from
the suite_program(...) lines of the source tree's CMakeLists.txt; the labels
come from DIR/manifest.jsonl, which tools/describe writes first when it is
missing or older than the executables.  Checked for every executable: that
the manifest has it, that its digest and size are the file's, that it is
for the target's ELF machine, that the compiler and its version are the
ones CMake found, that its level (or SUITE_PROGRAM_FLAGS) is what CMake
gave it, that its debug file is there and matches (SUITE_DEBUG_INFO), that
every routine is a function at -O0, and, where DIR is TREE/bin of a Ninja
tree, that the file is the one the build wrote (its time stamp is the one
.ninja_log recorded).  Prints one line per failed check and a last line
"N executables, M checks, K failed"; exits 0 only when none failed.
"""

import argparse
import hashlib
import io
import json
import os
import re
import shlex
import subprocess
import sys
import zlib

from elftools.elf.elffile import ELFFile

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DESCRIBE = os.path.join(SOURCE, "tools", "describe")
# Switches that g++ records in DW_AT_producer: code generation, debug
# information, the language standard.  Prefix maps, warnings and the
# preprocessor's switches it leaves out; -march=native it records as the
# machine it found, -flto=auto as -flto.
RECORDED = re.compile(r"-(O|g|std=|m(?!(arch|tune|cpu)=native)|f(?!(file|debug|macro|profile)-prefix-map))")


def recorded_in(flag, switches):
    """Whether g++'s producer switches hold a flag, or at least its name before "="."""
    return flag in switches or flag.split("=")[0] in switches


def read_cache(tree):
    """{NAME: value} of TREE/CMakeCache.txt."""
    cache = {}
    with open(os.path.join(tree, "CMakeCache.txt")) as f:
        for line in f:
            match = re.match(r"([^#/][^:=]*)(?::[A-Z]+)?=(.*)$", line.rstrip("\n"))
            if match:
                cache[match[1]] = match[2]
    return cache


def read_compiler(tree, cache):
    """{NAME: value} of the set(NAME "value") lines of CMakeCXXCompiler.cmake."""
    version = ".".join(cache.get(f"CMAKE_CACHE_{part}_VERSION", "") for part in ("MAJOR", "MINOR", "PATCH"))
    with open(os.path.join(tree, "CMakeFiles", version, "CMakeCXXCompiler.cmake")) as f:
        return dict(re.findall(r'^set\((\w+) "([^"]*)"\)', f.read(), re.M))


def read_builds(source):
    """{executable: (program, level)} from the suite_program(...) calls of CMakeLists.txt."""
    with open(os.path.join(source, "CMakeLists.txt")) as f:
        text = re.sub(r"#.*", "", f.read())
    builds = {}
    for call in re.findall(r"^\s*suite_program\(([^)]*)\)", text, re.M):
        program, _folder, *levels = call.split()
        for k, level in enumerate(levels):
            builds[f"{program}_b{k}"] = (program, level)
    return builds


def last_level(flags):
    """The last -O option of a list of flags without its dash, or None."""
    levels = [flag[1:] for flag in flags if flag.startswith("-O")]
    return levels[-1] if levels else None


def is_on(value):
    """CMake's truth of a cache value."""
    return value.upper() not in ("", "0", "OFF", "NO", "FALSE", "N", "IGNORE", "NOTFOUND") and \
        not value.upper().endswith("-NOTFOUND")


def target_triple(cache, compiler):
    """The GNU triple the tree builds for: the compiler's target, the library
    architecture, the prefix of the compiler's name, or '' for this machine."""
    if cache.get("CMAKE_CXX_COMPILER_TARGET"):
        return cache["CMAKE_CXX_COMPILER_TARGET"]
    if compiler.get("CMAKE_CXX_LIBRARY_ARCHITECTURE"):
        return compiler["CMAKE_CXX_LIBRARY_ARCHITECTURE"]
    prefix = re.match(r"(.+-linux-\w+)-", os.path.basename(cache.get("CMAKE_CXX_COMPILER", "")))
    return prefix[1] if prefix else ""


def ninja_times(tree):
    """{output path relative to TREE: mtime in ns} of the last build of each output, from .ninja_log."""
    times = {}
    try:
        with open(os.path.join(tree, ".ninja_log")) as f:
            for line in f:
                fields = line.rstrip("\n").split("\t")
                if len(fields) == 5 and fields[2].isdigit():
                    times[fields[3]] = int(fields[2])
    except FileNotFoundError:
        return None
    return times


def debug_link(elf):
    """(name, CRC32) of the executable's .gnu_debuglink, or None."""
    section = elf.get_section_by_name(".gnu_debuglink")
    if section is None:
        return None
    data = section.data()
    name = data.split(b"\0", 1)[0]
    offset = (len(name) + 4) & ~3
    return name.decode(), int.from_bytes(data[offset:offset + 4], "little" if elf.little_endian else "big")


class Checks:
    """Counts the checks and prints each one that fails."""

    def __init__(self):
        self.count = self.failed = 0

    def check(self, ok, file, message):
        self.count += 1
        if not ok:
            self.failed += 1
            print(f"{file}: {message}")
        return ok


def load_manifest(folder, files):
    """The manifest's entries by file name, described anew when it is missing
    or older than the executables or their debug files."""
    manifest = os.path.join(folder, "manifest.jsonl")
    paths = [os.path.join(folder, name) for file in files for name in (file, file + ".debug")]
    newest = max((os.stat(path).st_mtime_ns for path in paths if os.path.exists(path)), default=0)
    if not os.path.exists(manifest) or os.stat(manifest).st_mtime_ns < newest:
        print(f"note: {manifest} missing or older than the executables: tools/describe writes it anew",
              file=sys.stderr)
        run = subprocess.run([DESCRIBE, folder, "--quiet"], capture_output=True, text=True)
        sys.stderr.write(run.stderr)
        if run.returncode != 0:
            return None
    entries = {}
    with open(manifest) as f:
        for line in f:
            entry = json.loads(line)
            entries.setdefault(entry["file"], []).append(entry)
    return entries


def check_executable(checks, folder, file, entry, want):
    """The checks of one executable against what CMake gave (`want`)."""
    path = os.path.join(folder, file)
    with open(path, "rb") as f:
        data = f.read()
    elf = ELFFile(io.BytesIO(data))
    program, level = want["builds"][file]
    checks.check((entry["program"], entry["build"]) == (program, file[len(program) + 1:]), file,
                 f"program and build are {entry['program']} {entry['build']}")
    checks.check(entry["sha256"] == hashlib.sha256(data).hexdigest(), file,
                 f"sha256 {entry['sha256']} in the manifest, the file's is {hashlib.sha256(data).hexdigest()}")
    checks.check(entry["size"] == len(data), file, f"size {entry['size']} in the manifest, the file has {len(data)}")
    machine = elf["e_machine"]
    if isinstance(machine, int):
        # pyelftools has no name for the number of Linux on Alpha.
        machine = "EM_ALPHA" if machine == 0x9026 else hex(machine)
    checks.check(entry["elf"]["machine"] == want["machine"] == machine,
                 file, f"machine {entry['elf']['machine']} in the manifest, {machine} in the file, "
                       f"the target ({want['triple'] or 'this machine'}) is {want['machine']}")

    # The compiler: the producer, when there is debug information, and the
    # first line of .suite.flags.
    cxx_id, version = want["id"], want["version"]
    producer = entry["producer"] or ""
    names = {"GNU": producer.startswith("GNU "), "Clang": "clang" in producer.lower()}
    named = names.get(cxx_id, cxx_id.lower() in producer.lower())
    versioned = re.search(rf"(?<![\d.]){re.escape(version)}(?!\d)", producer)
    if want["debug"]:
        checks.check(named and versioned, file, f"producer {entry['producer']!r} is not {cxx_id} {version}")
    given = entry["given"] or {}
    checks.check(given.get("compiler") == f"{cxx_id} {version}", file,
                 f".suite.flags names {given.get('compiler')!r}, CMake found {cxx_id} {version}")

    # The level, or the flags, that CMake gave this build: .suite.flags ends
    # with them; g++'s producer records them too (its switches also tell the
    # level); the level of others is what .suite.flags gives.
    flags = want["flags"] or ["-" + level]
    expected_level = last_level(want["cxx_flags"] + flags)
    given_flags = (given.get("flags") or "").split()
    checks.check(given_flags[len(given_flags) - len(flags):] == flags, file,
                 f".suite.flags gives {given.get('flags')!r}, CMake gave {' '.join(flags)}")
    source = "DW_AT_producer" if cxx_id == "GNU" and want["debug"] else ".suite.flags"
    if entry["flags_from"] != source:
        checks.check(False, file, f"flags from {entry['flags_from']}, not from {source}")
    else:
        switches = entry["flags"].split()
        missing = [flag for flag in flags if source == "DW_AT_producer" and RECORDED.match(flag)
                   and not flag.startswith("-O") and not recorded_in(flag, switches)]
        checks.check(entry["level"] == expected_level and not missing, file,
                     f"{source} records {entry['flags']!r}: level {entry['level']}, CMake gave {' '.join(flags)}" +
                     (f" ({' '.join(missing)} missing)" if missing else ""))

    # At -O0 every routine is a function of its own.
    if (expected_level or "O0") == "O0":
        lost = [r["name"] + " " + r["where"] for r in entry["routines"] if not r["where"].startswith("function")]
        checks.check(entry["routines"] and not lost, file, f"at -O0 not a function: {', '.join(lost) or 'no routine'}")

    # The debug information lies in <file>.debug, which the debug link names and matches.
    if want["debug"]:
        link = debug_link(elf)
        debug_path = os.path.join(folder, file + ".debug")
        if link is None or link[0] != file + ".debug":
            found = "the executable has no debug link" if link is None else f"the debug link names {link[0]}"
        elif not os.path.exists(debug_path):
            found = f"{file}.debug is missing"
        else:
            with open(debug_path, "rb") as f:
                crc = zlib.crc32(f.read())
            found = f"{file}.debug has CRC32 {crc:08x}, the debug link {link[1]:08x}" if crc != link[1] else ""
        checks.check(entry["debug_info"] == file + ".debug" and not found, file,
                     f"debug_info is {entry['debug_info']}" + (f"; {found}" if found else ""))
    else:
        checks.check(entry["debug_info"] is None, file,
                     f"debug_info is {entry['debug_info']} though SUITE_DEBUG_INFO is off")

    # The file is the one the build wrote, as Ninja recorded it.
    if want["ninja"] is not None:
        recorded = want["ninja"].get(f"bin/{file}")
        actual = os.stat(path).st_mtime_ns
        checks.check(recorded == actual, file, f"time stamp {actual}, the build of TREE wrote it at {recorded}: "
                                               "changed or replaced since")


def main():
    parser = argparse.ArgumentParser(description="Check a folder's manifest.jsonl against what CMake gave.")
    parser.add_argument("folder", metavar="DIR")
    parser.add_argument("--build-tree", metavar="TREE", required=True, help="the CMake build tree that built DIR")
    args = parser.parse_args()
    folder, tree = args.folder, args.build_tree
    try:
        cache = read_cache(tree)
        compiler = read_compiler(tree, cache)
        builds = read_builds(cache["CMAKE_HOME_DIRECTORY"])
    except (OSError, KeyError) as error:
        sys.exit(f"check_manifest: cannot read the build tree {tree}: {error}")
    if not builds:
        sys.exit("check_manifest: no suite_program(...) line in the CMakeLists.txt")
    if not os.path.isdir(folder):
        sys.exit(f"check_manifest: no such folder: {folder}")
    triple = target_triple(cache, compiler)
    machine = subprocess.run([DESCRIBE, "--machine-for", triple], capture_output=True, text=True)
    if machine.returncode != 0:
        sys.exit(f"check_manifest: {machine.stderr.strip()}")
    build_type = cache.get("CMAKE_BUILD_TYPE", "").upper()
    want = {
        "builds": builds,
        "triple": triple,
        "machine": machine.stdout.strip(),
        "id": compiler.get("CMAKE_CXX_COMPILER_ID", ""),
        "version": compiler.get("CMAKE_CXX_COMPILER_VERSION", ""),
        "flags": shlex.split(cache.get("SUITE_PROGRAM_FLAGS", "")),
        "cxx_flags": shlex.split(cache.get("CMAKE_CXX_FLAGS", "") + " " +
                                 (cache.get(f"CMAKE_CXX_FLAGS_{build_type}", "") if build_type else "")),
        "debug": is_on(cache.get("SUITE_DEBUG_INFO", "ON")),
        "ninja": (ninja_times(tree) if os.path.realpath(folder) == os.path.realpath(os.path.join(tree, "bin"))
                  else None),
    }

    checks = Checks()
    files = sorted(builds)
    entries = load_manifest(folder, [file for file in files if os.path.exists(os.path.join(folder, file))])
    if entries is None:
        checks.check(False, folder, "tools/describe could not describe it")
        entries = {}
    for file in sorted(set(entries) - set(builds)):
        checks.check(False, file, "in the manifest, but CMakeLists.txt builds no such executable")
    for file in files:
        present = os.path.exists(os.path.join(folder, file))
        if not checks.check(present, file, f"missing from {folder}"):
            continue
        lines = entries.get(file, [])
        if checks.check(len(lines) == 1, file, f"{len(lines)} lines of the manifest describe it, not 1"):
            check_executable(checks, folder, file, lines[0], want)
    print(f"{len(files)} executables, {checks.count} checks, {checks.failed} failed")
    sys.exit(1 if checks.failed else 0)


if __name__ == "__main__":
    main()
