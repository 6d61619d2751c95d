"""The builder of folders of the suite's executables made apart from the
project's own CMake build: with another compiler, for another machine, at
the suite's levels or once per program with an option set.

Each program is compiled and linked with the same command lines as
suite_program() in CMakeLists.txt gives it, so that at the suite's levels
the builder makes the very bytes of the project's build (tests check it):
the same warnings, language standard, prefix maps, debug file, debug link,
.suite.flags section and record of the optimisation decisions."""

import concurrent.futures
import os
import re
import shlex
import shutil
import subprocess
import tempfile
import time
from dataclasses import dataclass, field

import glob
import sys
from .programs import ROOT, programs as suite_programs

WARNINGS = ["-Wall", "-Wextra", "-Wpedantic", "-Wconversion", "-Wformat=2"]
PROGRAM_OPTIONS = ["-fno-exceptions", "-fno-rtti", "-Wno-unused-result"]
STANDARD = "-std=c++20"
REMARKS_OPTION = "-fsave-optimization-record"


class BuildError(Exception):
    """A cell that cannot be built at all (no compiler, a machine it cannot
    build for); one line."""


@dataclass
class Compiler:
    """A C++ compiler as the builder drives it."""
    command: str  # the path of the compiler that is run
    target: str  # the triple it builds for
    kind: str  # "GNU" or "Clang"
    version: str  # "12.2.0"
    version_line: str  # the first line of --version
    target_option: list  # ["--target=TRIPLE"] for clang building for another machine
    objcopy: str

    @property
    def label(self):
        return f"{self.kind} {self.version}"


def find_compiler(cxx, target=None):
    """The compiler `cxx` (a name on the PATH or a path) building for
    `target` (a GNU triple, None for its own): g++ becomes TRIPLE-g++,
    clang++ gets --target=TRIPLE."""
    name = os.path.basename(cxx)
    target_option = []
    if target:
        if "clang" in name:
            target_option = [f"--target={target}"]
        elif re.fullmatch(r"g\+\+(-[0-9.]+)?", name) and os.sep not in cxx:
            cxx = f"{target}-{name}"
    path = shutil.which(cxx)
    if path is None:
        raise BuildError(f"no compiler {cxx}{package_hint(cxx, target)}")
    try:
        version_line = subprocess.run([path, "--version"], capture_output=True, text=True, timeout=60,
                                      check=True).stdout.splitlines()[0]
        machine = subprocess.run([path, *target_option, "-dumpmachine"], capture_output=True, text=True,
                                 timeout=60, check=True).stdout.strip()
    except (OSError, subprocess.SubprocessError, IndexError):
        raise BuildError(f"{cxx} does not answer --version and -dumpmachine: no C++ compiler")
    kind = "Clang" if "clang" in version_line.lower() else "GNU"
    version = subprocess.run([path, "-dumpfullversion" if kind == "GNU" else "-dumpversion"],
                             capture_output=True, text=True, timeout=60).stdout.strip()
    if target and not target_option and machine != target:
        raise BuildError(f"{cxx} builds for {machine}, not {target}")
    major = version.split(".")[0]
    if kind == "Clang":
        objcopy = next(filter(None, map(shutil.which, (f"llvm-objcopy-{major}", "llvm-objcopy", "objcopy"))), None)
    else:
        prefix = re.match(r"(.*-)g\+\+(-[0-9.]+)?$", os.path.basename(path))
        candidates = ([f"{prefix.group(1)}objcopy"] if prefix else []) + (
            [f"{target or machine}-objcopy"] if target else []) + ["objcopy"]
        objcopy = next(filter(None, map(shutil.which, candidates)), None)
    if objcopy is None:
        raise BuildError("objcopy not found (Debian: binutils)")
    return Compiler(path, target or machine, kind, version, version_line, target_option, objcopy)


def package_hint(cxx, target):
    """Which Debian package brings a missing compiler, as ": Debian's
    package g++-11-aarch64-linux-gnu brings it", or ""."""
    name = os.path.basename(cxx)
    gnu = re.fullmatch(r"(?:(.+)-)?g\+\+(?:-([0-9.]+))?", name)
    if gnu:
        triple, version = gnu.group(1) or target, gnu.group(2)
        package = "g++" + (f"-{version}" if version else "") + (f"-{triple.replace('_', '-')}" if triple else "")
        return f": Debian's package {package} brings it"
    clang = re.fullmatch(r"clang\+\+(?:-([0-9]+))?", name)
    if clang:
        return f": Debian's package clang{'-' + clang.group(1) if clang.group(1) else ''} brings it"
    return ""


@dataclass
class Built:
    """One executable the builder made, or tried to."""
    executable: str  # "selection_sort_b2", or "selection_sort" for an option set
    program: str
    build: str  # "b2", or None for an option set
    options: str  # what took the place of the level: "-O2", "-O3 -flto"
    path: str
    compile_seconds: float = 0.0
    link_seconds: float = 0.0
    ok: bool = False
    log: str = ""  # what the compiler and the linker said
    commands: list = field(default_factory=list)


def plan(options=None, programs=None, every_level=False):
    """[(executable, program, build, level flags)] of a cell: every program
    at each of its levels (options None: the suite's own b0..b3), every
    program once with the option set, or (every_level) each build of every
    program with the option set in place of its level, as SUITE_PROGRAM_FLAGS
    does: the names the tests know, the same flags."""
    wanted = None if programs is None else set(programs)
    found = []
    for program in suite_programs():
        if wanted is not None and program.name not in wanted:
            continue
        if options is None or every_level:
            for executable, build, level in program.builds:
                found.append((executable, program, build, [f"-{level}"] if options is None else shlex.split(options)))
        else:
            found.append((program.name, program, None, shlex.split(options)))
    return found


def build(out, cxx="g++", target=None, options=None, programs=None, jobs=2, werror=False, remarks=True,
          debug=True, cxxflags=None, ldflags=None, every_level=False):
    """Builds a cell into the folder `out` and returns [Built].

    options None builds the suite's levels, else every program once with
    the option set (also given to the linker, as SUITE_PROGRAM_FLAGS does),
    or with every_level each of its builds with it.
    cxxflags and ldflags are what CMake takes from CXXFLAGS and LDFLAGS
    (default: the environment's)."""
    compiler = find_compiler(cxx, target)
    os.makedirs(out, exist_ok=True)
    out = os.path.abspath(out)
    cxxflags = shlex.split(os.environ.get("CXXFLAGS", "") if cxxflags is None else cxxflags)
    ldflags = shlex.split(os.environ.get("LDFLAGS", "") if ldflags is None else ldflags)
    remarks = remarks and compiler.kind in ("GNU", "Clang")
    work = tempfile.mkdtemp(prefix="suite-build-")
    try:
        def one(item):
            executable, program, build_name, level = item
            link_flags = level if options is not None else []
            result = Built(executable, program.name, build_name, " ".join(level), os.path.join(out, executable))
            objects = os.path.join(work, "CMakeFiles", f"{executable}.dir", program.folder)
            os.makedirs(objects, exist_ok=True)
            obj = os.path.join(objects, f"{program.name}.cpp.o")
            prefix_maps = [f"-ffile-prefix-map={ROOT}=.", f"-ffile-prefix-map={work}=."] if debug else []
            compile_flags = (cxxflags + WARNINGS + (["-Werror"] if werror else []) + PROGRAM_OPTIONS
                             + (["-g"] if debug else []) + ([REMARKS_OPTION] if remarks else []) + prefix_maps
                             + level + [STANDARD])
            compile_command = [compiler.command, *compiler.target_option, f"-I{ROOT}/common",
                                        *compile_flags, "-o", obj, "-c", str(ROOT / program.source)]
            linked = os.path.join(work, "bin", executable)
            os.makedirs(os.path.dirname(linked), exist_ok=True)
            # The prefix maps at the link too: with -flto the code and its
            # debug information are made there.
            link_command = [compiler.command, *compiler.target_option, *cxxflags, *ldflags, "-Wl,--as-needed",
                            *link_flags, *prefix_maps, obj, "-o", linked]
            # With -flto the link takes most decisions and writes their
            # records into a folder of their own.
            link_records = os.path.join(work, "CMakeFiles", f"{executable}.dir", "link-records")
            lto = remarks and " -flto" in " " + " ".join(cxxflags + ldflags + link_flags)
            if lto:
                os.makedirs(link_records, exist_ok=True)
                link_command += ([REMARKS_OPTION, "-dumpdir", link_records + "/"] if compiler.kind == "GNU" else
                                 [f"-Wl,--plugin-opt=opt-remarks-filename={link_records}/link.opt.yaml"])
            result.commands = [compile_command, link_command]
            for step, command in (("compile", compile_command), ("link", link_command)):
                started = time.monotonic()
                done = subprocess.run(command, cwd=work, capture_output=True, text=True, errors="replace")
                setattr(result, f"{step}_seconds", round(time.monotonic() - started, 3))
                result.log += done.stdout + done.stderr
                if done.returncode != 0:
                    result.log += f"{step} failed with exit status {done.returncode}\n"
                    return result
            given = " ".join(([f"--target={compiler.target}"] if compiler.target_option else [])
                             + cxxflags + [STANDARD] + PROGRAM_OPTIONS + (["-g"] if debug else []) + level)
            record = os.path.join(work, "flags", executable)
            os.makedirs(os.path.dirname(record), exist_ok=True)
            with open(record, "w") as f:
                f.write(f"{compiler.label}\n{given}\n")
            steps = []
            if debug:
                steps.append([compiler.objcopy, "--only-keep-debug", linked, linked + ".debug"])
                steps.append([compiler.objcopy, "--strip-debug", f"--add-gnu-debuglink={linked}.debug",
                              "--add-section", f".suite.flags={record}", linked])
            else:
                steps.append([compiler.objcopy, "--add-section", f".suite.flags={record}", linked])
            for command in steps:
                done = subprocess.run(command, cwd=os.path.dirname(linked), capture_output=True, text=True,
                                      errors="replace")
                if done.returncode != 0:
                    result.log += done.stdout + done.stderr + f"{os.path.basename(command[0])} failed\n"
                    return result
            if remarks:
                records = sorted(glob.glob(os.path.join(objects, "*.opt-record.json.gz"))
                                 + glob.glob(os.path.join(objects, "*.opt.yaml"))) + ([link_records] if lto else [])
                done = subprocess.run([sys.executable, str(ROOT / "tools" / "remarks"), "--source-root", str(ROOT),
                                       "--build-root", work, "--output", linked + ".remarks.jsonl", *records],
                                      capture_output=True, text=True, errors="replace")
                if done.returncode != 0:
                    result.log += done.stdout + done.stderr
                    return result
            # Into the folder last, each file whole: a half-built cell leaves
            # nothing that looks finished.
            for suffix in ("", ".debug", ".remarks.jsonl"):
                if os.path.exists(linked + suffix):
                    shutil.copy2(linked + suffix, result.path + suffix + ".part")
                    os.replace(result.path + suffix + ".part", result.path + suffix)
            result.ok = True
            return result

        with concurrent.futures.ThreadPoolExecutor(max_workers=max(1, jobs)) as pool:
            return list(pool.map(one, plan(options, programs, every_level)))
    finally:
        shutil.rmtree(work, ignore_errors=True)
