"""The explorer's static site: index.html and one page per program, each a
single file with its styles, script and data inside, that a browser opens
from file:// with nothing fetched.

A page holds the program's sources highlighted by Pygments, the builds'
instructions with the source line and chain of inlining calls of each, the
figures per line, routine and build, and the compiler's remarks; the script
in explore_page/page.js draws it from the JSON it carries."""

import html
import json
import os
import re
from pathlib import Path

from pygments import highlight
from pygments.formatters import HtmlFormatter
from pygments.lexers import CppLexer

from .programs import ROUTINES, program as suite_program

ASSETS = Path(__file__).resolve().parent / "explore_page"
# Analysis remarks of g++'s vectorisers run to thousands a build, many of
# them long dumps of its trees: past this length a message is cut on the
# page (the file beside the executable keeps it whole).
MESSAGE_LIMIT = 240


def write_whole(path, text):
    """Writes a file whole or not at all: a temporary file, then a rename."""
    part = f"{path}.{os.getpid()}.part"
    try:
        with open(part, "w", encoding="utf-8") as f:
            f.write(text)
        os.replace(part, path)
    except BaseException:
        try:
            os.unlink(part)
        except OSError:
            pass
        raise


class Strings:
    """The page's table of strings: data refers to each by its index."""

    def __init__(self):
        self.items, self.index = [], {}

    def __call__(self, value):
        if value is None:
            return -1
        if value not in self.index:
            self.index[value] = len(self.items)
            self.items.append(value)
        return self.index[value]


def highlighted_lines(text):
    """The source's lines as HTML, highlighted: Pygments closes its spans at
    each line's end, so each line stands alone."""
    formatter = HtmlFormatter(nowrap=True)
    lines = highlight(text, CppLexer(stripnl=False, ensurenl=False), formatter).split("\n")
    count = len(text.split("\n"))
    return (lines + [""] * count)[:count]


def style_sheet():
    return HtmlFormatter(style="default").get_style_defs(".src")


def source_of(root, file):
    """The text of a source file of the tree, or None."""
    if file is None or os.path.isabs(file):
        path = file
    else:
        path = os.path.join(root, file)
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            return f.read()
    except (OSError, TypeError):
        return None


def fate(entry):
    """A routine's fate in a few words: "function 85 B", "inlined into
    main", "function 85 B and inlined into main", "gone"."""
    parts = []
    if entry.get("function"):
        parts.append(f"function {entry['function']['size']} B")
    into = [copy["into"] for copy in entry.get("inlined") or []]
    if into:
        parts.append("inlined into " + ", ".join(into))
    if parts:
        return " and ".join(parts)
    return entry.get("where") or "gone"


def inlined_bytes(entry):
    return sum(int(end, 16) - int(start, 16) for copy in entry.get("inlined") or [] for start, end in copy["ranges"])


def label_folders(folders):
    """A short label per folder: the compiler and machine of its builds,
    with the folder's name where two would read alike."""
    labels = []
    for path, builds in folders:
        first = next((b for b in builds if b.compiler), builds[0] if builds else None)
        compiler = (first.compiler or "unknown compiler") if first else "no builds"
        compiler = re.sub(r"^GNU C\+\+\d+", "GNU", compiler)
        compiler = re.sub(r"^(Debian )?clang version", "clang", compiler)
        compiler = re.sub(r"\s*\(.*\)$", "", compiler)
        machine = first.machine_label if first else ""
        labels.append(f"{compiler}, {machine}" if machine else compiler)
    for index, label in enumerate(labels):
        if labels.count(label) > 1:
            labels[index] = f"{label} ({os.path.basename(os.path.normpath(folders[index][0]))})"
    if len(set(labels)) < len(labels):
        labels = [f"{label} [{index + 1}]" for index, label in enumerate(labels)]
    return labels


def page_data(program, builds, root, strings):
    """The JSON of one program's page; builds are [(folder label, Build)]."""
    files = []

    def file_index(name):
        if name not in files:
            files.append(name)
        return files.index(name)

    data = {"program": program, "routines": ROUTINES.get(program, []), "builds": [], "messageLimit": MESSAGE_LIMIT}
    suite = suite_program(program)
    if suite is not None:
        file_index(suite.source)
    for folder_label, build in builds:
        figures = build.lines()
        for key in sorted(figures, key=lambda k: (k[0] or "", k[1] or 0)):
            if key[0] is not None:
                file_index(key[0])
        ins = []
        for instr in build.instructions:
            ins.append([instr.address, instr.size, instr.data.hex(), instr.text, instr.function,
                        file_index(instr.file) if instr.file else -1, instr.line or 0,
                        [[strings(name), file_index(call_file) if call_file else -1, call_line or 0]
                         for name, call_file, call_line in instr.chain],
                        instr.executed if build.profiled else -1])
        remarks = []
        for remark in build.remarks or []:
            message = remark.get("message") or ""
            cut = len(message) > MESSAGE_LIMIT
            if cut:
                message = message[:MESSAGE_LIMIT] + "\u2026"
            remarks.append([strings(remark.get("kind")), strings(remark.get("pass")), strings(remark.get("function")),
                            file_index(remark["file"]) if remark.get("file") else -1, remark.get("line") or 0,
                            remark.get("column") or 0, strings(message)])
        routines = []
        for entry in build.routines:
            routines.append({"name": entry.get("name"), "fate": fate(entry), "where": entry.get("where"),
                             "size": (entry.get("function") or {}).get("size"),
                             "inlinedBytes": inlined_bytes(entry)})
        data["builds"].append({
            "id": f"{folder_label}/{build.executable}",
            "folder": folder_label,
            "build": build.build or build.executable,
            "executable": build.executable,
            "level": build.level, "compiler": build.compiler, "flags": build.flags,
            "machine": build.machine_label, "elfMachine": build.machine,
            "debug": build.debug, "decodable": build.decodable, "notes": build.notes,
            "profiled": build.profiled, "profileNote": build.profile_note, "input": build.input,
            "functions": [{"name": f["name"], "symbols": [s for s in f["symbols"] if s],
                           "ranges": f["ranges"], "size": f["size"], "file": f["file"], "line": f["line"]}
                          for f in build.functions],
            "ins": ins,
            "lines": {f"{file_index(k[0])}:{k[1]}": [v["n"], v["bytes"], v["ir"] if build.profiled else -1,
                                                     v["via_n"], v["via_ir"] if build.profiled else -1]
                      for k, v in figures.items() if k[0] is not None},
            "remarks": remarks if build.remarks is not None else None,
            "routinesTable": routines,
            "totals": {"functions": len(build.functions), "instructions": len(build.instructions),
                       "bytes": build.code_bytes(),
                       "executed": sum(i.executed or 0 for i in build.instructions) if build.profiled else -1},
        })
    sources = []
    used = {}
    for _, build in builds:
        for file, line in build.lines():
            used.setdefault(file, set()).add(line)
    for name in files:
        text = source_of(root, name)
        lines = highlighted_lines(text) if text is not None else None
        outside = os.path.isabs(name)
        if lines is not None and outside:
            # A system header: only its lines that got instructions.
            lines = [line if n + 1 in used.get(name, ()) else "" for n, line in enumerate(lines)]
        sources.append({"file": name, "lines": lines, "outside": outside})
    data["sources"] = sources
    data["strings"] = strings.items
    return data


def render(template, title, body, data, root_note=""):
    page = template.replace("{{TITLE}}", html.escape(title))
    page = page.replace("{{CSS}}", style_sheet() + "\n" + (ASSETS / "page.css").read_text())
    page = page.replace("{{BODY}}", body)
    # The data goes into a script element: "</" must not close it early.
    blob = json.dumps(data, separators=(",", ":"), ensure_ascii=False).replace("</", "<\\/")
    page = page.replace("{{DATA}}", blob)
    page = page.replace("{{JS}}", (ASSETS / "page.js").read_text())
    return page


def program_page(program, builds, root):
    strings = Strings()
    data = page_data(program, builds, root, strings)
    data["kind"] = "program"
    template = (ASSETS / "template.html").read_text()
    return render(template, f"{program}: what each build made of each line", "", data)


def index_page(programs, folders, labels, warnings):
    """The index: every program and its builds, per folder, compared."""
    data = {"kind": "index", "folders": [], "programs": [], "warnings": warnings}
    for (path, builds), label in zip(folders, labels):
        first = builds[0] if builds else None
        data["folders"].append({"label": label, "path": os.path.abspath(path),
                                "compiler": first.compiler if first else None,
                                "machine": first.machine_label if first else None})
    for program, by_folder in programs:
        entry = {"name": program, "routines": ROUTINES.get(program, []), "builds": []}
        for folder_index, builds in enumerate(by_folder):
            for build in builds:
                entry["builds"].append({
                    "folder": folder_index, "build": build.build or build.executable, "level": build.level,
                    "executable": build.executable, "debug": build.debug, "decodable": build.decodable,
                    "notes": build.notes,
                    "instructions": len(build.instructions) if build.decodable else -1,
                    "bytes": build.code_bytes(),
                    "executed": sum(i.executed or 0 for i in build.instructions) if build.profiled else -1,
                    "remarks": None if build.remarks is None else {
                        kind: sum(1 for r in build.remarks if r.get("kind") == kind)
                        for kind in ("passed", "missed", "analysis")},
                    "routines": {r.get("name"): {"fate": fate(r), "where": r.get("where"),
                                                 "size": (r.get("function") or {}).get("size"),
                                                 "inlinedBytes": inlined_bytes(r)} for r in build.routines},
                })
        data["programs"].append(entry)
    template = (ASSETS / "template.html").read_text()
    return render(template, "What each build made of each line", "", data)
