"""The compiler's optimisation decisions of one executable, as JSON lines.

With -fsave-optimization-record g++ writes <dumpbase>.opt-record.json.gz
(gzip-compressed JSON: a header, the tree of its passes, the records) and
clang writes <object>.opt.yaml (a YAML document per remark, tagged with its
kind); with -flto the link writes more of them.  normalise() reads any of
either and gives one dict per remark:

    {"kind": "passed" | "missed" | "analysis", "pass": NAME, "function": NAME,
     "file": PATH, "line": N, "column": N, "message": TEXT}

in a stable order (file, line, column, kind, pass, function, message), with
nothing that differs between two checkouts or two runs of the compiler:
files inside the source or the build tree are named relative to it (so are
such paths in the messages), pass ids become pass names, the addresses g++
prints in some messages read "<address>", names are demangled, in messages
too (the anonymous namespace spelled "{anonymous}" by both compilers), and
messages are flattened to one line.  A remark without a place is kept, with
file null and line and column 0: its function still says where it belongs."""

import gzip
import json
import os
import re
import shutil
import subprocess
import zlib

KINDS = {
    # g++: an optimisation done, one not done, what a pass saw or tried.
    "success": "passed", "failure": "missed", "note": "analysis", "scope": "analysis",
    # clang's tags.
    "!Passed": "passed", "!Missed": "missed", "!Failure": "missed",
    "!Analysis": "analysis", "!AnalysisFPCommute": "analysis", "!AnalysisAliasing": "analysis",
}
FIELDS = ("kind", "pass", "function", "file", "line", "column", "message")
# An absolute path in a message: the compiler names its sources in it.
PATH_IN_TEXT = re.compile(r"(?<![\w.~/-])/[\w.+~/-]+")
# g++'s vectoriser names its trees and nodes by their addresses in the
# compiler's memory, which differ from run to run.
ADDRESS = re.compile(r"\b0x[0-9a-f]{6,16}\b")
# A mangled name in a message: clang names callers and callees so.
MANGLED = re.compile(r"\b_Z[\w.$]+")


class RemarkError(Exception):
    """A record that cannot be read; one line."""


class Places:
    """Names source files as the remarks give them: relative to the source
    tree or the build tree when inside one (the deeper first, as the build
    tree may lie in the source tree); other files, the system's headers,
    keep their absolute path."""

    def __init__(self, source_root, build_root):
        self.roots = sorted({os.path.realpath(source_root), os.path.realpath(build_root)}, key=len, reverse=True)
        self.build_root = os.path.realpath(build_root)
        self.source_root = os.path.realpath(source_root)

    def inside(self, path):
        """`path` (absolute, normalised) relative to the root holding it, or None."""
        for root in self.roots:
            if path.startswith(root.rstrip("/") + "/"):
                return os.path.relpath(path, root)
        return None

    def file(self, name):
        """The name of a source file as a remark gives it.  A relative one is
        relative to the compiler's working directory, the build tree, or,
        where a prefix map made it relative, to the source tree: whichever
        holds it."""
        if not name:
            return None
        if not os.path.isabs(name):
            for root in (self.build_root, self.source_root):
                if os.path.exists(os.path.join(root, name)):
                    name = os.path.join(root, name)
                    break
            else:
                return os.path.normpath(name)
        name = os.path.normpath(name)
        return self.inside(name) or name

    def text(self, text):
        """A message with the paths inside either tree made relative."""
        return PATH_IN_TEXT.sub(lambda m: self.inside(os.path.normpath(m[0])) or m[0], text)


def one_line(text):
    return " ".join(text.split())


def demangled(names):
    """{mangled name: demangled name} of a set of symbol names, by one run of
    c++filt (binutils; LLVM's llvm-cxxfilt where it is missing)."""
    names = sorted(n for n in names if n)
    if not names:
        return {}
    tool = shutil.which("c++filt") or shutil.which("llvm-cxxfilt")
    if tool is None:
        raise RemarkError("no c++filt (binutils) to demangle the functions' names")
    run = subprocess.run([tool], input="\n".join(names) + "\n", capture_output=True, text=True)
    lines = run.stdout.split("\n")[:len(names)]
    if run.returncode != 0 or len(lines) != len(names):
        raise RemarkError(f"{tool} failed: {run.stderr.strip() or 'a short answer'}")
    return {name: line.replace("(anonymous namespace)", "{anonymous}") for name, line in zip(names, lines)}


def without_return_type(declaration):
    """'void {anonymous}::f(int*, int)' -> '{anonymous}::f(int*, int)': g++'s
    declaration of a function as its demangled name reads."""
    depth = 0
    space = -1
    for i, c in enumerate(declaration):
        if c in "<(":
            if c == "(" and depth == 0:
                return declaration[space + 1:]
            depth += 1
        elif c in ">)":
            depth -= 1
        elif c == " " and depth == 0:
            space = i
    return declaration


# g++ ---------------------------------------------------------------------

def gcc_records(data, where):
    """The records of g++'s JSON (already parsed): (record, pass name) in
    the order of the file, each scope's records after it."""
    if not (isinstance(data, list) and len(data) == 3 and isinstance(data[0], dict)
            and isinstance(data[1], list) and isinstance(data[2], list)):
        raise RemarkError(f"{where}: not g++'s optimisation record (a header, the passes, the records)")
    passes = {}

    def walk_passes(nodes):
        for node in nodes:
            if not isinstance(node, dict) or "id" not in node or "name" not in node:
                raise RemarkError(f"{where}: a pass without id or name")
            passes[node["id"]] = node["name"]
            walk_passes(node.get("children", []))

    walk_passes(data[1])

    def walk(records):
        for record in records:
            if not isinstance(record, dict) or record.get("kind") not in ("success", "failure", "note", "scope"):
                raise RemarkError(f"{where}: a record of no known kind: {str(record)[:60]}")
            if record.get("pass") not in passes:
                raise RemarkError(f"{where}: a record of a pass not in the list: {record.get('pass')}")
            yield record, passes[record["pass"]]
            yield from walk(record.get("children", []))

    return walk(data[2])


def gcc_item(item, places, where):
    """The text of one item of a g++ message: text, or an object naming a
    symbol, an expression, a statement or a place."""
    if isinstance(item, str):
        return item
    if isinstance(item, dict):
        for key, value in item.items():
            if key != "location" and isinstance(value, str):
                # A symbol's name ends with its order number in the symbol table.
                return re.sub(r"/\d+$", "", value) if key == "symtab_node" else value
        location = item.get("location")
        if isinstance(location, dict):
            return f"{places.file(location.get('file'))}:{location.get('line', 0)}:{location.get('column', 0)}"
    raise RemarkError(f"{where}: a message item of no known form: {str(item)[:60]}")


def read_gcc(data, places, where):
    records = list(gcc_records(data, where))
    # g++ leaves out the function of the inliner's records; its declaration,
    # the last of the inlining chain, names it as the other records of the
    # same function do (by the name without clone suffix, when there is one).
    functions = {}
    for record, _ in records:
        chain = record.get("inlining_chain") or []
        if record.get("function") and chain and isinstance(chain[-1], dict) and "fndecl" in chain[-1]:
            functions.setdefault(chain[-1]["fndecl"], set()).add(record["function"])
    named = {decl: min(names, key=lambda n: ("." in n, len(n), n)) for decl, names in functions.items()}
    remarks = []
    for record, pass_name in records:
        message = record.get("message", [])
        if not isinstance(message, list):
            raise RemarkError(f"{where}: a message that is not a list")
        location = record.get("location") or {}
        function = record.get("function")
        declared = None
        chain = record.get("inlining_chain") or []
        if not function and chain and isinstance(chain[-1], dict):
            function = named.get(chain[-1].get("fndecl"))
            declared = None if function else chain[-1].get("fndecl")
        try:
            line, column = int(location.get("line", 0)), int(location.get("column", 0))
        except (TypeError, ValueError):
            raise RemarkError(f"{where}: a location with no number: {location}")
        remarks.append({
            "kind": KINDS[record["kind"]],
            "pass": pass_name,
            "function": function,
            "declared": declared,
            "file": places.file(location.get("file")),
            "line": line,
            "column": column,
            "message": ADDRESS.sub("<address>", one_line(places.text(
                "".join(gcc_item(item, places, where) for item in message)))),
        })
    return remarks


# clang -------------------------------------------------------------------

def yaml_loader():
    """A loader of clang's remarks: every scalar as the text clang wrote (no
    numbers or booleans guessed from a message), each tag a mapping."""
    try:
        import yaml
    except ImportError:
        raise RemarkError("reading clang's remarks needs PyYAML (Debian: python3-yaml)")
    base = getattr(yaml, "CBaseLoader", yaml.BaseLoader)

    class Loader(base):
        pass

    for tag in (t for t in KINDS if t.startswith("!")):
        Loader.add_constructor(tag, lambda loader, node, tag=tag: {
            **loader.construct_mapping(node, deep=True), "": tag})
    return yaml, Loader


def read_clang(text, places, where):
    yaml, loader = yaml_loader()
    try:
        documents = list(yaml.load_all(text, Loader=loader))
    except yaml.YAMLError as error:
        mark = getattr(error, "problem_mark", None)
        problem = getattr(error, "problem", None) or str(error).split("\n")[0]
        raise RemarkError(f"{where}: not clang's remarks ({problem}"
                          + (f", line {mark.line + 1}" if mark else "") + ")")
    remarks = []
    for document in documents:
        if document is None:
            continue
        if not isinstance(document, dict) or "" not in document or "Pass" not in document:
            raise RemarkError(f"{where}: a document that is not a tagged remark with a pass")
        location = document.get("DebugLoc") or {}
        args = document.get("Args") or []
        if not isinstance(location, dict) or not isinstance(args, list):
            raise RemarkError(f"{where}: a remark whose DebugLoc or Args are of no known form")
        parts = []
        for arg in args:
            if not isinstance(arg, dict):
                raise RemarkError(f"{where}: an argument that is not a mapping")
            parts.extend(value for key, value in arg.items() if key != "DebugLoc" and isinstance(value, str))
        try:
            line, column = int(location.get("Line", 0)), int(location.get("Column", 0))
        except ValueError:
            raise RemarkError(f"{where}: a DebugLoc with no number: {location}")
        remarks.append({
            "kind": KINDS[document[""]],
            "pass": document["Pass"],
            "function": document.get("Function"),
            "declared": None,
            "file": places.file(location.get("File")),
            "line": line,
            "column": column,
            "message": one_line(places.text("".join(parts))),
        })
    return remarks


# -------------------------------------------------------------------------

def read_record(path, places):
    """The remarks of one record file, g++'s or clang's (told by its bytes)."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:2] == b"\x1f\x8b":
        try:
            parsed = json.loads(gzip.decompress(data))
        except (OSError, EOFError, zlib.error, ValueError) as error:
            raise RemarkError(f"{path}: not g++'s optimisation record ({error})")
        return read_gcc(parsed, places, path)
    try:
        text = data.decode()
    except UnicodeDecodeError:
        raise RemarkError(f"{path}: neither g++'s record (gzip) nor clang's (YAML text)")
    if text.strip() and not text.lstrip().startswith("---"):
        raise RemarkError(f"{path}: neither g++'s record (gzip) nor clang's (YAML text)")
    return read_clang(text, places, path)


def record_files(paths):
    """The files of the records given: a folder stands for every file in it
    (the link's records, as many as it writes)."""
    files = []
    for path in paths:
        if os.path.isdir(path):
            files.extend(os.path.join(path, name) for name in sorted(os.listdir(path))
                         if os.path.isfile(os.path.join(path, name)))
        else:
            files.append(path)
    return files


def sort_key(remark):
    return (remark["file"] or "", remark["line"], remark["column"], remark["kind"], remark["pass"],
            remark["function"] or "", remark["message"])


def normalise(paths, source_root, build_root):
    """The remarks of the record files (or folders of them) `paths`, sorted."""
    places = Places(source_root, build_root)
    remarks = []
    for path in record_files(paths):
        remarks.extend(read_record(path, places))
    names = demangled({r["function"] for r in remarks} | {name for r in remarks for name in MANGLED.findall(r["message"])})
    for remark in remarks:
        if remark["function"]:
            remark["function"] = names[remark["function"]]
        elif remark["declared"]:
            remark["function"] = without_return_type(remark["declared"])
        remark["message"] = MANGLED.sub(lambda m: names[m[0]], remark["message"])
    return sorted(({field: remark[field] for field in FIELDS} for remark in remarks), key=sort_key)


def write_lines(remarks, output):
    """The remarks into `output`, one JSON line each, the whole file or nothing."""
    partial = f"{output}.{os.getpid()}.part"
    try:
        with open(partial, "w") as f:
            for remark in remarks:
                f.write(json.dumps(remark) + "\n")
        os.replace(partial, output)
    except BaseException:
        if os.path.exists(partial):
            os.unlink(partial)
        raise


def main(argv=None):
    import argparse
    import sys
    parser = argparse.ArgumentParser(
        prog="remarks", description="Normalise g++'s and clang's optimisation records into one JSON line per remark.")
    parser.add_argument("--source-root", required=True, metavar="DIR", help="the top of the source tree")
    parser.add_argument("--build-root", required=True, metavar="DIR", help="the build tree (the compiler's working folder)")
    parser.add_argument("--output", required=True, metavar="FILE", help="the JSON lines to write (EXE.remarks.jsonl)")
    parser.add_argument("records", nargs="+", metavar="RECORD",
                        help="g++'s .opt-record.json.gz, clang's .opt.yaml, or a folder of them")
    args = parser.parse_args(argv)
    try:
        write_lines(normalise(args.records, args.source_root, args.build_root), args.output)
    except RemarkError as error:
        sys.exit(f"remarks: {error}")
    except OSError as error:
        sys.exit(f"remarks: {error.filename or args.output}: {error.strerror}")
