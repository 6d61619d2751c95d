"""Reading one executable of the suite: what the ELF file is, its functions,
the copies of routines inlined into them and its line table.

The DWARF comes from the executable itself or from the .debug file its
.gnu_debuglink names, beside it, when the CRC32 matches; without it the
symbol table alone says where functions lie.  Everything is read with
pyelftools; the manifest (tools/describe), the explorer and the corpus all
read binaries through this module."""

import bisect
import hashlib
import io
import os
import re
import struct
import subprocess
import zlib
from dataclasses import dataclass, field

from elftools.dwarf.ranges import BaseAddressEntry
from elftools.elf.constants import SH_FLAGS
from elftools.elf.elffile import ELFFile
from elftools.elf.sections import SymbolTableSection

from .programs import relative_source


class BinaryError(Exception):
    """A file that cannot be read as an executable of the suite; one line."""


# The ELF machine of the first part of a GNU triple.
MACHINES = [
    (r"x86_64|amd64", "EM_X86_64"),
    (r"i[3-7]86", "EM_386"),
    (r"aarch64(_be)?|arm64", "EM_AARCH64"),
    (r"arm.*|thumb.*", "EM_ARM"),
    (r"mips.*", "EM_MIPS"),
    (r"powerpc64(le)?|ppc64(le)?", "EM_PPC64"),
    (r"powerpc(le)?|ppc(le)?", "EM_PPC"),
    (r"riscv(32|64)", "EM_RISCV"),
    (r"s390x?", "EM_S390"),
    (r"sparc64|sparcv9", "EM_SPARCV9"),
    (r"sparc", "EM_SPARC"),
    (r"alpha.*", "EM_ALPHA"),
    (r"hppa.*", "EM_PARISC"),
    (r"m68k", "EM_68K"),
    (r"sh[1-4]?.*", "EM_SH"),
]
# Machine numbers that pyelftools has no name for: Linux on Alpha uses the
# number 0x9026, which the GNU tools and the C library call EM_ALPHA.
UNNAMED_MACHINES = {0x9026: "EM_ALPHA"}


def machine_for(triple):
    """The ELF machine name of executables built for a GNU triple ('' is this machine)."""
    if not triple:
        with open("/proc/self/exe", "rb") as interpreter:
            return machine_name(ELFFile(interpreter))
    arch = triple.split("-")[0]
    for pattern, machine in MACHINES:
        if re.fullmatch(pattern, arch):
            return machine
    raise BinaryError(f"unknown machine of triple {triple!r}")


def machine_name(elf):
    """pyelftools' name of the ELF machine, also for the numbers it does not name."""
    machine = elf["e_machine"]
    if isinstance(machine, int):
        return UNNAMED_MACHINES.get(machine, f"EM_{machine:#x}")
    return machine


def text(attribute):
    """An attribute's string value, decoded."""
    value = attribute.value
    return value.decode(errors="replace") if isinstance(value, bytes) else str(value)


@dataclass
class Function:
    """A function of the executable: where it lies and what names it."""
    name: str  # as the source names it: "sort_selection", "main", "_start"
    linkage_name: str  # the symbol's name: "_ZN12_GLOBAL__N_114sort_selectionEPii"
    start: int
    size: int
    section: str
    file: str = None  # where DWARF says it is defined, relative to the source tree
    line: int = None
    mode: str = None  # "thumb" or "arm" on ARM, else None
    in_program: bool = False  # defined by the program's compile unit
    scope: str = ""  # the enclosing namespaces: "(anonymous namespace)::", "suite::"
    ranges: list = field(default_factory=list)  # [(start, end)] of all its parts

    @property
    def qualified(self):
        return self.scope + self.name


@dataclass
class Inlined:
    """One copy of a routine inlined into a function (a DW_TAG_inlined_subroutine)."""
    routine: str
    function: str  # the out-of-line function it lies in
    ranges: list  # [(low, high)]
    call_file: str
    call_line: int
    call_column: int
    depth: int  # 1: inlined into the function itself, 2: into a copy inlined there, ...
    parent: int  # index of the enclosing copy in Binary.inlined(), or -1
    in_program: bool  # the routine is one of the program's compile unit
    scope: str = ""
    linkage_name: str = ""  # the routine's symbol name where DWARF gives one, else ""


@dataclass
class Row:
    """A row of the line table."""
    address: int
    file: str
    line: int
    column: int
    end_sequence: bool


class Binary:
    """One ELF executable and, where it is found, its DWARF."""

    def __init__(self, path, data=None, warn=None):
        self.path = str(path)
        self.folder = os.path.dirname(self.path)
        self.file = os.path.basename(self.path)
        if data is None:
            try:
                with open(self.path, "rb") as f:
                    data = f.read()
            except OSError as error:
                raise BinaryError(f"{self.path}: cannot be read ({error.strerror})")
        self.data = data
        if data[:4] != b"\x7fELF":
            raise BinaryError(f"{self.path}: not an ELF file")
        try:
            self.elf = ELFFile(io.BytesIO(data))
            self.machine = machine_name(self.elf)
        except Exception as error:  # pyelftools raises many kinds on a damaged file
            raise BinaryError(f"{self.path}: damaged ELF file ({type(error).__name__}: {error})")
        self.warnings = []
        self._warn = warn or self.warnings.append
        self.elf_class = self.elf.elfclass
        self.little_endian = self.elf.little_endian
        self.debug_name, self.debug_elf, self.dwarf = self._find_dwarf()
        self._cache = {}

    # --- the file -----------------------------------------------------------

    @property
    def byte_order(self):
        return "little" if self.little_endian else "big"

    @property
    def pie(self):
        """Whether the executable is position-independent (type ET_DYN)."""
        return self.elf["e_type"] == "ET_DYN"

    def section_data(self, name):
        section = self.elf.get_section_by_name(name)
        return None if section is None or section["sh_type"] == "SHT_NOBITS" else section.data()

    def suite_flags(self):
        """{"compiler", "flags"} the build recorded in .suite.flags, or None."""
        data = self.section_data(".suite.flags")
        if data is None:
            return None
        lines = data.decode(errors="replace").splitlines() + ["", ""]
        return {"compiler": lines[0], "flags": lines[1]}

    def debug_link(self):
        """The (file name, CRC32) that the .gnu_debuglink section names, or None."""
        data = self.section_data(".gnu_debuglink")
        if data is None:
            return None
        name = data.split(b"\0", 1)[0]
        # The CRC follows the name's terminating NUL, aligned to 4 bytes.
        (crc,) = struct.unpack_from("<I" if self.little_endian else ">I", data, (len(name) + 4) & ~3)
        return name.decode(errors="replace"), crc

    def executable_sections(self):
        """The sections of code loaded into memory: [(name, address, size)]."""
        # Read once: section_at asks for them for every symbol and function.
        if "executable_sections" not in self.__dict__.get("_cache", {}):
            found = [(s.name, s["sh_addr"], s["sh_size"]) for s in self.elf.iter_sections()
                     if s["sh_flags"] & SH_FLAGS.SHF_EXECINSTR and s["sh_flags"] & SH_FLAGS.SHF_ALLOC
                     and s["sh_size"] > 0]
            if "_cache" not in self.__dict__:
                return found
            self._cache["executable_sections"] = found
        return list(self._cache["executable_sections"])

    def section_at(self, address):
        for name, start, size in self.executable_sections():
            if start <= address < start + size:
                return name
        return None

    def code(self, start, size):
        """The bytes the executable loads at [start, start + size)."""
        for section in self.elf.iter_sections():
            begin = section["sh_addr"]
            if (section["sh_flags"] & SH_FLAGS.SHF_ALLOC and section["sh_type"] != "SHT_NOBITS"
                    and begin <= start and start + size <= begin + section["sh_size"]):
                offset = section["sh_offset"] + start - begin
                return self.data[offset:offset + size]
        return b""

    def loaded_digest(self):
        """A digest of what the executable loads: its entry point and every
        section loaded into memory but the build-id note, which the linker
        hashes over the whole file, debug information and debug link included."""
        digest = hashlib.sha256(str(self.elf.header["e_entry"]).encode())
        for section in self.elf.iter_sections():
            if section["sh_flags"] & SH_FLAGS.SHF_ALLOC and section.name != ".note.gnu.build-id":
                digest.update(f"{section.name} {section['sh_addr']} {section['sh_size']}\n".encode())
                if section["sh_type"] != "SHT_NOBITS":
                    digest.update(section.data())
        return digest.hexdigest()

    def text_size(self):
        section = self.elf.get_section_by_name(".text")
        return section["sh_size"] if section is not None else 0

    # --- DWARF --------------------------------------------------------------

    def _find_dwarf(self):
        """(name, ELF file, DWARFInfo) of the debug information, or Nones."""
        if self._has_dwarf(self.elf):
            return self.file, self.elf, self._dwarf_of(self.elf)
        link = self.debug_link()
        if link is None:
            return None, None, None
        name, crc = link
        path = os.path.join(self.folder, name)
        try:
            with open(path, "rb") as f:
                data = f.read()
        except OSError as error:
            self._warn(f"{self.file}: debug file {name} not readable ({error.strerror}): symbols only")
            return None, None, None
        if zlib.crc32(data) != crc:
            self._warn(f"{self.file}: debug file {name} does not match the debug link (CRC32 "
                       f"{zlib.crc32(data):08x}, link {crc:08x}): symbols only")
            return None, None, None
        try:
            debug = ELFFile(io.BytesIO(data))
            if not self._has_dwarf(debug):
                self._warn(f"{self.file}: debug file {name} holds no DWARF: symbols only")
                return None, None, None
            return name, debug, self._dwarf_of(debug)
        except Exception as error:
            self._warn(f"{self.file}: debug file {name} cannot be read ({type(error).__name__}): symbols only")
            return None, None, None

    @staticmethod
    def _has_dwarf(elf):
        section = elf.get_section_by_name(".debug_info") or elf.get_section_by_name(".zdebug_info")
        return section is not None and section["sh_type"] != "SHT_NOBITS"

    @staticmethod
    def _dwarf_of(elf):
        # Only object files need their relocations applied to the DWARF.
        return elf.get_dwarf_info(relocate_dwarf_sections=elf["e_type"] == "ET_REL")

    def units(self):
        if "units" not in self._cache:
            self._cache["units"] = list(self.dwarf.iter_CUs()) if self.dwarf else []
        return self._cache["units"]

    def program_unit(self, program):
        """The compile unit of <program>.cpp, or None."""
        for cu in self.units():
            name = cu.get_top_DIE().attributes.get("DW_AT_name")
            if name and os.path.basename(text(name)) == program + ".cpp":
                return cu
        return None

    def producer(self, unit):
        attribute = unit.get_top_DIE().attributes.get("DW_AT_producer") if unit else None
        return text(attribute) if attribute else None

    def _file_names(self, cu):
        """The unit's line-table file names by index, relative to the source
        tree; DWARF 5 counts them from 0, earlier versions from 1."""
        key = ("files", cu.cu_offset)
        if key not in self._cache:
            program = self.dwarf.line_program_for_CU(cu)
            names = {}
            if program is not None:
                header = program.header
                directories = [d.decode(errors="replace") if isinstance(d, bytes) else d
                               for d in header["include_directory"]]
                top = cu.get_top_DIE().attributes.get("DW_AT_comp_dir")
                top = text(top) if top else "."
                first = 0 if header["version"] >= 5 else 1
                for index, entry in enumerate(header["file_entry"], first):
                    name = entry.name.decode(errors="replace") if isinstance(entry.name, bytes) else entry.name
                    directory = entry.dir_index
                    if header["version"] >= 5:
                        base = directories[directory] if directory < len(directories) else ""
                    else:
                        base = top if directory == 0 else (
                            directories[directory - 1] if directory - 1 < len(directories) else "")
                    if not os.path.isabs(base):
                        base = os.path.join(top, base)
                    names[index] = relative_source(os.path.normpath(os.path.join(base, name)))
            self._cache[key] = (program, names)
        return self._cache[key]

    def ranges_of(self, die):
        """The [start, end) address ranges of a DIE's code, from DW_AT_low_pc
        and DW_AT_high_pc or from DW_AT_ranges."""
        attributes = die.attributes
        if "DW_AT_ranges" in attributes:
            base = die.cu.get_top_DIE().attributes.get("DW_AT_low_pc")
            base = base.value if base else 0
            ranges = []
            entries = self.dwarf.range_lists().get_range_list_at_offset(attributes["DW_AT_ranges"].value, cu=die.cu)
            for entry in entries:
                if isinstance(entry, BaseAddressEntry):
                    base = entry.base_address
                elif entry.is_absolute:
                    ranges.append((entry.begin_offset, entry.end_offset))
                else:
                    ranges.append((base + entry.begin_offset, base + entry.end_offset))
            return [(start, end) for start, end in ranges if end > start]
        if "DW_AT_low_pc" in attributes and "DW_AT_high_pc" in attributes:
            low = attributes["DW_AT_low_pc"].value
            high = attributes["DW_AT_high_pc"]
            end = high.value if high.form.startswith("DW_FORM_addr") else low + high.value
            return [(low, end)] if end > low else []
        return []

    @staticmethod
    def _named(die):
        """The DIE that names a routine: the DIE itself, or the one reached
        through DW_AT_abstract_origin and DW_AT_specification."""
        for _ in range(8):
            if "DW_AT_name" in die.attributes:
                return die
            for link in ("DW_AT_abstract_origin", "DW_AT_specification"):
                if link in die.attributes:
                    die = die.get_DIE_from_attribute(link)
                    break
            else:
                return die
        return die

    @staticmethod
    def _linkage(die):
        """The linkage name of a routine's DIE, found on the DIE or through
        DW_AT_abstract_origin and DW_AT_specification; "" where none is."""
        for _ in range(8):
            for name in ("DW_AT_linkage_name", "DW_AT_MIPS_linkage_name"):
                if name in die.attributes:
                    return text(die.attributes[name])
            for link in ("DW_AT_abstract_origin", "DW_AT_specification"):
                if link in die.attributes:
                    die = die.get_DIE_from_attribute(link)
                    break
            else:
                return ""
        return ""

    @staticmethod
    def _scope(die):
        """The namespaces around a DIE, as a C++ qualifier."""
        names = []
        parent = die.get_parent()
        while parent is not None and parent.tag != "DW_TAG_compile_unit":
            if parent.tag == "DW_TAG_namespace":
                name = parent.attributes.get("DW_AT_name")
                names.append(text(name) if name else "(anonymous namespace)")
            parent = parent.get_parent()
        return "".join(f"{name}::" for name in reversed(names))

    def _walk(self):
        """(functions, inlined copies) of every unit's DIEs."""
        if "walk" in self._cache:
            return self._cache["walk"]
        functions, inlined = [], []
        scopes = {"DW_TAG_namespace", "DW_TAG_subprogram", "DW_TAG_lexical_block", "DW_TAG_inlined_subroutine"}
        local_types = {"DW_TAG_class_type", "DW_TAG_structure_type", "DW_TAG_union_type"}
        home = self._cache.get("home")

        def describe(die):
            origin = self._named(die)
            name = text(origin.attributes["DW_AT_name"]) if "DW_AT_name" in origin.attributes else "?"
            ours = home is not None and origin.cu.cu_offset == home
            return origin, name, ours

        def walk(die, outer, parent, depth):
            for child in die.iter_children():
                inner, enclosing, level = outer, parent, depth
                # A function with code of its own, also one whose DIE lies
                # within another's (g++ puts a lambda's operator() there).
                if child.tag == "DW_TAG_subprogram":
                    ranges = self.ranges_of(child)
                    if ranges:
                        origin, name, ours = describe(child)
                        linkage = origin.attributes.get("DW_AT_linkage_name") or \
                            origin.attributes.get("DW_AT_MIPS_linkage_name")
                        _, files = self._file_names(origin.cu)
                        declared = origin
                        while declared is not None and "DW_AT_decl_file" not in declared.attributes:
                            declared = declared.get_parent()  # a lambda's class tells where it is
                        declared = declared if declared is not None else origin
                        decl = declared.attributes.get("DW_AT_decl_file")
                        line = declared.attributes.get("DW_AT_decl_line")
                        functions.append(Function(
                            name=name, linkage_name=text(linkage) if linkage else name, start=ranges[0][0],
                            size=sum(end - start for start, end in ranges), section=self.section_at(ranges[0][0]),
                            file=files.get(decl.value) if decl else None, line=line.value if line else None,
                            in_program=ours, scope=self._scope(origin), ranges=ranges))
                        inner = name
                elif child.tag == "DW_TAG_inlined_subroutine" and outer is not None:
                    origin, name, ours = describe(child)
                    _, files = self._file_names(child.cu)
                    attributes = child.attributes
                    call_file = attributes.get("DW_AT_call_file")
                    inlined.append(Inlined(
                        routine=name, function=outer, ranges=self.ranges_of(child),
                        call_file=files.get(call_file.value) if call_file else None,
                        call_line=attributes["DW_AT_call_line"].value if "DW_AT_call_line" in attributes else 0,
                        call_column=attributes["DW_AT_call_column"].value if "DW_AT_call_column" in attributes else 0,
                        depth=depth + 1, parent=parent, in_program=ours, scope=self._scope(origin),
                        linkage_name=self._linkage(child)))
                    enclosing, level = len(inlined) - 1, depth + 1
                # Within a function also its local types: a lambda's class
                # holds its operator().
                if child.has_children and (child.tag in scopes or (inner is not None and child.tag in local_types)):
                    walk(child, inner, enclosing, level)

        for cu in self.units():
            walk(cu.get_top_DIE(), None, -1, 0)
        self._cache["walk"] = (functions, inlined)
        return functions, inlined

    def read_program(self, program):
        """Reads the DWARF with `program`'s compile unit as the program's own:
        routines whose DIE lies there count as the program's (with link-time
        optimisation their code lies in other units, which refer back).
        Returns the unit, or None."""
        unit = self.program_unit(program)
        self._cache["home"] = unit.cu_offset if unit else None
        self._cache.pop("walk", None)
        return unit

    def dwarf_functions(self):
        return self._walk()[0] if self.dwarf else []

    def inlined(self):
        return self._walk()[1] if self.dwarf else []

    def line_rows(self):
        """Every row of every unit's line table, in the order of the table."""
        if "rows" in self._cache:
            return self._cache["rows"]
        rows = []
        for cu in self.units():
            program, files = self._file_names(cu)
            if program is None:
                continue
            for entry in program.get_entries():
                state = entry.state
                if state is not None:
                    rows.append(Row(state.address, files.get(state.file), state.line, state.column,
                                    state.end_sequence))
        self._cache["rows"] = rows
        return rows

    def line_lookup(self):
        """A function of an address to the (file, line, column) of the row
        that covers it, or None: the last row at or before the address within
        its sequence."""
        rows = self.line_rows()
        spans = []  # (start, end, row)
        for row, following in zip(rows, rows[1:]):
            if not row.end_sequence and following.address > row.address:
                spans.append((row.address, following.address, row))
        spans.sort(key=lambda span: span[0])
        starts = [span[0] for span in spans]

        def lookup(address):
            index = bisect.bisect_right(starts, address) - 1
            if index >= 0 and spans[index][0] <= address < spans[index][1]:
                row = spans[index][2]
                return row.file, row.line, row.column
            return None
        return lookup

    def inlined_lookup(self):
        """A function of an address to its chain of inlined copies, innermost
        first: [Inlined], empty where the address lies in no copy."""
        copies = self.inlined()
        spans = sorted(((low, high, index) for index, copy in enumerate(copies) for low, high in copy.ranges))

        def lookup(address):
            innermost = None
            for low, high, index in spans:
                if low > address:
                    break
                if address < high and (innermost is None or copies[index].depth > copies[innermost].depth):
                    innermost = index
            chain = []
            while innermost is not None and innermost >= 0:
                chain.append(copies[innermost])
                innermost = copies[innermost].parent
            return chain
        return lookup

    # --- symbols ------------------------------------------------------------

    def symbols(self):
        """Every defined STT_FUNC of the symbol tables, as Functions (names
        undemangled); on ARM the Thumb bit is taken off and the mode kept."""
        found, seen = [], set()
        arm = self.machine == "EM_ARM"
        for section in self.elf.iter_sections():
            if not isinstance(section, SymbolTableSection):
                continue
            for symbol in section.iter_symbols():
                if symbol["st_info"]["type"] != "STT_FUNC" or symbol["st_shndx"] == "SHN_UNDEF":
                    continue
                value = symbol["st_value"]
                mode = ("thumb" if value & 1 else "arm") if arm else None
                start = value & ~1 if arm else value
                key = (symbol.name, start)
                if key in seen:  # .symtab and .dynsym both name some
                    continue
                seen.add(key)
                found.append(Function(name=symbol.name, linkage_name=symbol.name, start=start,
                                      size=symbol["st_size"], section=self.section_at(start), mode=mode))
        return found

    def mapping_symbols(self):
        """The sorted [(address, kind)] of the mapping symbols of ARM and
        AArch64 ($a, $t, $x: code of an instruction set begins; $d: data),
        kind being "arm", "thumb", "a64" or "data"; [] elsewhere."""
        kinds = {"a": "arm", "t": "thumb", "x": "a64", "d": "data"}
        marks = []
        for section in self.elf.iter_sections():
            if isinstance(section, SymbolTableSection):
                for symbol in section.iter_symbols():
                    name = symbol.name
                    if len(name) >= 2 and name[0] == "$" and name[1] in kinds and name[2:3] in ("", "."):
                        marks.append((symbol["st_value"] & ~1, kinds[name[1]]))
        return sorted(set(marks))

    def arm_modes(self):
        """On ARM, the sorted [(address, "arm" | "thumb")] of the mapping
        symbols $a and $t, which say where each instruction set begins."""
        marks = []
        for section in self.elf.iter_sections():
            if isinstance(section, SymbolTableSection):
                for symbol in section.iter_symbols():
                    if symbol.name in ("$a", "$t") or symbol.name.startswith(("$a.", "$t.")):
                        marks.append((symbol["st_value"] & ~1, "thumb" if symbol.name[1] == "t" else "arm"))
        return sorted(marks)


MANGLED_ROUTINE = re.compile(r"_Z(?:N12_GLOBAL__N_1L?)?(\d+)")


def routine_of_symbol(name):
    """The routine a symbol names: "_ZN12_GLOBAL__N_114sort_selectionEPii"
    as "sort_selection", "sort_quick.constprop.0" as "sort_quick"; None for
    a cold part ("main.cold")."""
    base, _, suffix = name.partition(".")
    if "cold" in suffix.split("."):
        return None
    mangled = MANGLED_ROUTINE.match(base)
    return base[mangled.end():mangled.end() + int(mangled.group(1))] if mangled else base


def demangle(names):
    """{mangled: demangled} of C++ symbol names, by c++filt (binutils);
    names it cannot demangle stay as they are."""
    names = sorted(set(names))
    wanted = [name for name in names if name.startswith("_Z")]
    result = {name: name for name in names}
    if not wanted:
        return result
    try:
        done = subprocess.run(["c++filt"], input="\n".join(wanted) + "\n", capture_output=True, text=True,
                              check=True, timeout=60)
        result.update(zip(wanted, done.stdout.splitlines()))
    except (OSError, subprocess.SubprocessError):
        pass
    return result


# --- every function of the executable sections ------------------------------

# The C runtime's start-up and exit code that the link brings in (crt1.o,
# crti.o, crtn.o, crtbegin.o, crtend.o and their kin on each machine).
STARTUP_NAMES = {
    "_start", "_init", "_fini", "deregister_tm_clones", "register_tm_clones", "__do_global_dtors_aux",
    "frame_dummy", "_dl_relocate_static_pie", "call_weak_fn", "__libc_csu_init", "__libc_csu_fini",
    "__do_global_ctors_aux", "__start", "_start_c", "__gmon_start__", "_mcount", "__libc_start_main_impl",
}
STARTUP_PATTERN = re.compile(r"__(x86|i686)\.get_pc_thunk\.\w+")
# Sections of stubs through which calls reach other objects' functions.
PLT_SECTIONS = {".plt", ".plt.sec", ".plt.got", ".plt.bnd", ".iplt", ".MIPS.stubs", ".glink"}
# (bytes of the header, bytes of an entry) of the PLT sections whose layout
# is known; on others a PLT section is one row.
PLT_LAYOUTS = {
    "EM_X86_64": {".plt": (16, 16), ".plt.sec": (0, 16)},
    "EM_386": {".plt": (16, 16), ".plt.sec": (0, 16)},
    "EM_AARCH64": {".plt": (32, 16)},
    "EM_ARM": {".plt": (20, 12)},
}


@dataclass
class CodeFunction:
    """A function of an executable section, whatever brought it there."""
    name: str  # the source's name where DWARF gives it ("sort_quick"), else the symbol's ("_start", "puts@plt")
    linkage_name: str  # the symbol's name, or DWARF's linkage name
    start: int
    size: int
    section: str
    kind: str  # "routine", "suite", "startup", "plt" or "library"
    file: str = None
    line: int = None
    mode: str = None  # "arm" or "thumb" on ARM
    source: str = ""  # where it was found: "symtab", "dwarf", "symtab+dwarf", "plt"
    # "symbol", "dwarf", "plt" (the machine's layout), "extent" (to the next
    # function or the section's end), "section"
    size_from: str = "symbol"
    part_of: str = None  # the function a further part belongs to ("main" for main.cold)
    routine: str = None  # the program's routine it is (ROUTINES), clones included
    scope: str = ""
    aliases: list = field(default_factory=list)  # other symbols at the same start and of the same size

    @property
    def ranges(self):
        return [(self.start, self.start + self.size)]

    @property
    def qualified(self):
        return self.scope + self.name


def _classify(name, dwarf_info, program, routines):
    """The kind of a function that is not a PLT entry."""
    if dwarf_info is not None and dwarf_info.in_program:
        return "suite" if (dwarf_info.file or "").startswith("common/") else "routine"
    if name in STARTUP_NAMES or STARTUP_PATTERN.fullmatch(name):
        return "startup"
    if dwarf_info is None and program is not None:
        # Without DWARF: the names alone.
        if routine_of_symbol(name) in routines:
            return "routine"
        if name.startswith("_ZN5suite"):
            return "suite"
    return "library"


def _relocation_names(binary, section_name):
    """[(offset, symbol name)] of a relocation section, in its order."""
    section = binary.elf.get_section_by_name(section_name)
    if section is None or not hasattr(section, "iter_relocations"):
        return []
    symbols = binary.elf.get_section(section["sh_link"]) if section["sh_link"] else None
    found = []
    for relocation in section.iter_relocations():
        index = relocation["r_info_sym"]
        name = ""
        if symbols is not None and index and isinstance(symbols, SymbolTableSection):
            name = symbols.get_symbol(index).name
        found.append((relocation["r_offset"], name))
    return found


def plt_entries(binary):
    """The CodeFunctions of the PLT sections: one per entry where the
    machine's layout is known (the header as one more, named after the
    section), else one for the whole section."""
    sections = {s.name: s for s in binary.elf.iter_sections()
                if s.name in PLT_SECTIONS and s["sh_flags"] & SH_FLAGS.SHF_EXECINSTR and s["sh_size"] > 0}
    jump_slots = _relocation_names(binary, ".rela.plt") or _relocation_names(binary, ".rel.plt")
    layouts = PLT_LAYOUTS.get(binary.machine, {})
    found = []

    def whole(section):
        found.append(CodeFunction(section.name, section.name, section["sh_addr"], section["sh_size"], section.name,
                                  "plt", source="plt", size_from="section"))

    for name, section in sections.items():
        start, size = section["sh_addr"], section["sh_size"]
        layout = layouts.get(name)
        if name == ".plt" and ".plt.sec" in sections:
            layout = None  # the lazy-binding stubs; callers go through .plt.sec
        if name == ".plt.got":
            found.extend(_plt_got_entries(binary, section) or [])
            if not found or found[-1].section != name:
                whole(section)
            continue
        if layout is None or not jump_slots or size != layout[0] + layout[1] * len(jump_slots):
            whole(section)
            continue
        header, entry = layout
        if header:
            found.append(CodeFunction(name, name, start, header, name, "plt", source="plt", size_from="plt"))
        for index, (_, symbol) in enumerate(jump_slots):
            found.append(CodeFunction(f"{symbol}@plt", f"{symbol}@plt", start + header + index * entry, entry, name,
                                      "plt", source="plt", size_from="plt", mode="arm" if binary.machine == "EM_ARM"
                                      else None))
    return found


def _plt_got_entries(binary, section):
    """The entries of x86's .plt.got (8 bytes each, 16 with an endbr), named
    after the GOT slot their indirect jump reads; None where the bytes are
    not such jumps."""
    if binary.machine not in ("EM_X86_64", "EM_386"):
        return None
    data, start = section.data(), section["sh_addr"]
    entry = 16 if data[:4] in (b"\xf3\x0f\x1e\xfa", b"\xf3\x0f\x1e\xfb") else 8
    if len(data) % entry:
        return None
    slots = dict(_relocation_names(binary, ".rela.dyn") or _relocation_names(binary, ".rel.dyn"))
    got = binary.elf.get_section_by_name(".got.plt") or binary.elf.get_section_by_name(".got")
    found = []
    for offset in range(0, len(data), entry):
        code = data[offset:offset + entry]
        if binary.machine == "EM_X86_64":
            at = code.find(b"\xff\x25")
            if at < 0:
                return None
            (displacement,) = struct.unpack_from("<i", code, at + 2)
            slot = start + offset + at + 6 + displacement
        else:
            at = code.find(b"\xff\xa3")
            if at < 0 or got is None:
                return None
            (displacement,) = struct.unpack_from("<i", code, at + 2)
            slot = got["sh_addr"] + displacement
        symbol = slots.get(slot) or f".plt.got+{offset:#x}"
        found.append(CodeFunction(f"{symbol}@plt", f"{symbol}@plt", start + offset, entry, section.name, "plt",
                                  source="plt", size_from="plt"))
    return found


def code_functions(binary, program=None, routines=()):
    """Every function of every executable section, sorted by start: the
    symbol table's STT_FUNC, DWARF's subprograms (each part of one split
    into hot and cold code) and the PLT entries, each with its kind.
    Symbols without a size get the extent to the next function or the end
    of their section.  program: the program whose compile unit holds its
    own routines (the suite's shared code lies there too)."""
    sections = binary.executable_sections()
    if program is not None and binary.dwarf is not None:
        binary.read_program(program)
    parts = {}  # start: (Function, part index, end)
    for function in binary.dwarf_functions():
        for index, (low, high) in enumerate(sorted(function.ranges)):
            if binary.machine == "EM_ARM":
                low, high = low & ~1, high & ~1
            parts.setdefault(low, (function, index, high))
    modes = binary.arm_modes() if binary.machine == "EM_ARM" else []

    def mode_at(address):
        index = bisect.bisect_right(modes, (address, "~")) - 1
        return modes[index][1] if index >= 0 else "arm"

    found, seen = [], {}
    for symbol in binary.symbols():
        if symbol.section is None or symbol.section in PLT_SECTIONS:
            continue
        key = (symbol.start, symbol.size)
        if key in seen:
            seen[key].aliases.append(symbol.name)
            continue
        part = parts.get(symbol.start)
        info = part[0] if part else None
        row = CodeFunction(symbol.name, symbol.linkage_name, symbol.start, symbol.size, symbol.section,
                           _classify(symbol.name, info, program, routines), mode=symbol.mode, source="symtab")
        if info is not None:
            row.source, row.file, row.line, row.scope = "symtab+dwarf", info.file, info.line, info.scope
            if part[1] == 0:
                row.name = info.name
            else:
                row.part_of = info.name
            if row.size == 0:
                row.size, row.size_from = part[2] - symbol.start, "dwarf"
        seen[key] = row
        found.append(row)
    starts = {row.start for row in found}
    for low, (info, index, high) in parts.items():
        if low in starts or binary.section_at(low) is None:
            continue
        row = CodeFunction(info.name if index == 0 else f"{info.name}.part.{index}", info.linkage_name, low, high - low,
                           binary.section_at(low), _classify(info.name, info, program, routines), file=info.file,
                           line=info.line, source="dwarf", size_from="dwarf", scope=info.scope,
                           part_of=info.name if index else None, mode=mode_at(low) if modes else None)
        found.append(row)
    for row in found:
        if row.kind in ("routine", "suite") or program is None:
            name = routine_of_symbol(row.linkage_name if row.linkage_name != row.name else row.name)
            if row.part_of is None and (row.name in routines or name in routines):
                row.routine = row.name if row.name in routines else name
    found.extend(plt_entries(binary))
    found.sort(key=lambda row: (row.start, -row.size))
    ends = {name: start + size for name, start, size in sections}
    for index, row in enumerate(found):
        if row.size == 0:
            following = [other.start for other in found[index + 1:] if other.section == row.section
                         and other.start > row.start]
            row.size = (following[0] if following else ends.get(row.section, row.start)) - row.start
            row.size_from = "extent"
    return found
