"""The suite as the tools see it: its programs, their builds and sources,
and the inputs every build of a program must answer alike.

Everything is read from the source tree: the suite_program(...) lines of
CMakeLists.txt, the golden dialogues under tests/golden/ and the samples."""

import re
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent.parent

# The routines of each program's source, in the order the manifest lists them.
ROUTINES = {
    "array_compare": "memcmp1 memcmp2 memcmp3 memcmp4 sum1 sum2 scalar1 main",
    "parity_echo": "main",
    "matrix_product": "multiply_matrices print_matrix main",
    "selection_sort": "main sort_selection print_values",
    "bubble_sort": "sort_bubble main",
    "heap_sort": "swap_values sift_down build_heap sort_heap main",
    "quick_sort": "sort_quick main",
    "record_sort": "sort_items_by_month print_items main",
    "fib_table": "fill_fibonacci_table main",
    "fib_loop": "fibonacci_iterative main",
    "fib_recursive": "fibonacci_recursive main",
    "factorials": "factorial main",
    "count_down_up": "main",
    "complex_product": "print_complex_product main",
    "number_game": "main",
}
ROUTINES = {program: names.split() for program, names in ROUTINES.items()}

# An executable of the suite: <program>_b<k> at a level of its own, or
# <program> alone, built once with an option set.
EXECUTABLE = re.compile(r"(?P<program>[a-z][a-z_]*?)(?:_(?P<build>b\d+))?")


class Program:
    """One program: its name, folder, source and the levels of its builds."""

    def __init__(self, name, folder, levels):
        self.name, self.folder, self.levels = name, folder, levels
        self.source = f"{folder}/{name}.cpp"

    @property
    def builds(self):
        """[(executable, build, level)]: ("selection_sort_b0", "b0", "O0"), ..."""
        return [(f"{self.name}_b{k}", f"b{k}", level) for k, level in enumerate(self.levels)]

    def inputs(self):
        """[(input, expected output or None, expected status)]: the golden
        dialogues in name order, then the sample."""
        found = []
        for path in sorted((ROOT / "tests" / "golden" / self.name).glob("*.in")) + [
                ROOT / "samples" / f"{self.name}.in"]:
            out, status = path.with_suffix(".out"), path.with_suffix(".status")
            found.append((path, out if out.exists() else None,
                          int(status.read_text()) if status.exists() else 0))
        return found


def programs():
    """Every program, in the order of the suite_program(...) lines."""
    text = re.sub(r"#.*", "", (ROOT / "CMakeLists.txt").read_text())
    found = [Program(name, folder, levels.split())
             for name, folder, levels in re.findall(r"^\s*suite_program\((\w+)\s+(\w+)((?:\s+\w+)+)\s*\)", text, re.M)]
    if not found:
        raise RuntimeError(f"no suite_program(...) lines in {ROOT / 'CMakeLists.txt'}")
    return found


def program(name):
    """The program of that name, or None."""
    return next((p for p in programs() if p.name == name), None)


def parse_executable(file):
    """(program, build or None) of a file name of the suite, or None."""
    match = EXECUTABLE.fullmatch(file)
    if not match or match["program"] not in ROUTINES:
        return None
    return match["program"], match["build"]


def relative_source(path):
    """A file of the source tree relative to its top ("./sorting/x.cpp" and
    "/abs/tree/sorting/x.cpp" both as "sorting/x.cpp"); others as given."""
    path = str(path)
    if path.startswith(str(ROOT) + "/"):
        return path[len(str(ROOT)) + 1:]
    while path.startswith("./"):
        path = path[2:]
    return path
