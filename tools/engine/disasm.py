"""Decoding the machine code of an executable with Capstone 4 (Debian's
python3-capstone), one decoder per ELF machine.

decoder(binary) gives a Decoder for the executable's machine, or raises
Undecodable with one line ("Capstone 4 cannot decode EM_RISCV").  A
Decoder turns a range of the executable's code into Instructions; bytes
that decode to nothing are kept as a ".byte" pseudo-instruction of the
machine's smallest instruction size, so that every byte of a function is
accounted for."""

import bisect
from dataclasses import dataclass

import capstone


class Undecodable(Exception):
    """A machine the disassembler cannot decode; one line."""


@dataclass
class Instruction:
    address: int
    size: int
    mnemonic: str
    operands: str
    data: bytes

    @property
    def text(self):
        return f"{self.mnemonic} {self.operands}".strip()


def _endian(binary):
    return capstone.CS_MODE_LITTLE_ENDIAN if binary.little_endian else capstone.CS_MODE_BIG_ENDIAN


# ELF machine -> (architecture, mode of a binary, the smallest instruction in bytes).
def _table(binary):
    bits64 = binary.elf_class == 64
    return {
        "EM_X86_64": (capstone.CS_ARCH_X86, capstone.CS_MODE_64, 1),
        "EM_386": (capstone.CS_ARCH_X86, capstone.CS_MODE_32, 1),
        "EM_AARCH64": (capstone.CS_ARCH_ARM64, capstone.CS_MODE_ARM | _endian(binary), 4),
        "EM_ARM": (capstone.CS_ARCH_ARM, capstone.CS_MODE_ARM | _endian(binary), 4),
        "EM_MIPS": (capstone.CS_ARCH_MIPS,
                    (capstone.CS_MODE_MIPS64 if bits64 else capstone.CS_MODE_MIPS32) | _endian(binary), 4),
        "EM_PPC": (capstone.CS_ARCH_PPC, capstone.CS_MODE_32 | _endian(binary), 4),
        "EM_PPC64": (capstone.CS_ARCH_PPC, capstone.CS_MODE_64 | _endian(binary), 4),
        "EM_S390": (capstone.CS_ARCH_SYSZ, capstone.CS_MODE_BIG_ENDIAN, 2),
        "EM_SPARCV9": (capstone.CS_ARCH_SPARC, capstone.CS_MODE_V9 | capstone.CS_MODE_BIG_ENDIAN, 4),
        "EM_SPARC": (capstone.CS_ARCH_SPARC, capstone.CS_MODE_BIG_ENDIAN, 4),
        "EM_68K": (capstone.CS_ARCH_M68K, capstone.CS_MODE_M68K_040 | capstone.CS_MODE_BIG_ENDIAN, 2),
    }


MACHINE_NAMES = {
    "EM_X86_64": "x86-64", "EM_386": "i386", "EM_AARCH64": "AArch64", "EM_ARM": "ARM", "EM_MIPS": "MIPS",
    "EM_PPC": "PowerPC", "EM_PPC64": "PowerPC 64", "EM_S390": "s390x", "EM_SPARCV9": "SPARC V9",
    "EM_SPARC": "SPARC", "EM_68K": "m68k", "EM_RISCV": "RISC-V", "EM_ALPHA": "Alpha", "EM_PARISC": "PA-RISC",
    "EM_SH": "SuperH",
}


def machine_label(binary):
    """A person's name of the machine: "x86-64", "MIPS (64-bit, big-endian)"."""
    name = MACHINE_NAMES.get(binary.machine, binary.machine)
    if binary.machine in ("EM_MIPS", "EM_ARM", "EM_AARCH64", "EM_PPC64"):
        details = ([f"{binary.elf_class}-bit"] if binary.machine == "EM_MIPS" else []) + [
            "little-endian" if binary.little_endian else "big-endian"]
        name += f" ({', '.join(details)})"
    return name


class Decoder:
    """Capstone set up for one executable's machine; ARM switches between
    the ARM and Thumb instruction sets where the mapping symbols say."""

    def __init__(self, binary):
        table = _table(binary)
        if binary.machine not in table:
            raise Undecodable(f"Capstone 4 cannot decode {binary.machine} ({machine_label(binary)})")
        self.binary = binary
        arch, mode, self.unit = table[binary.machine]
        self._engines = {}
        self._arch, self._mode = arch, mode
        self.arm = binary.machine == "EM_ARM"
        marks = binary.mapping_symbols() if binary.machine in ("EM_ARM", "EM_AARCH64") else []
        self._marks = marks
        self._mark_addresses = [address for address, _ in marks]

    def _engine(self, thumb):
        if thumb not in self._engines:
            mode = self._mode
            if thumb:
                mode = (mode & ~capstone.CS_MODE_ARM) | capstone.CS_MODE_THUMB
            try:
                self._engines[thumb] = capstone.Cs(self._arch, mode)
            except capstone.CsError as error:
                raise Undecodable(f"Capstone 4 cannot decode {self.binary.machine}: {error}")
        return self._engines[thumb]

    def _pieces(self, start, end, mode):
        """[(start, end, kind)] of a range cut where the mapping symbols
        change the instruction set or mark data; kind "code", "thumb" or
        "data"."""
        kind = "thumb" if mode == "thumb" else "code"
        index = bisect.bisect_right(self._mark_addresses, start) - 1
        if index >= 0:
            kind = {"thumb": "thumb", "data": "data"}.get(self._marks[index][1], "code")
        pieces, at = [], start
        for address, mark in self._marks[index + 1:]:
            if address >= end:
                break
            if address > at:
                pieces.append((at, address, kind))
            at, kind = address, {"thumb": "thumb", "data": "data"}.get(mark, "code")
        pieces.append((at, end, kind))
        return pieces

    def decode(self, start, end, mode=None):
        """The Instructions of the executable's code in [start, end);
        `mode` ("thumb" or "arm") is the function symbol's, on ARM."""
        code = self.binary.code(start, end - start)
        found = []
        for piece_start, piece_end, kind in self._pieces(start, end, mode):
            piece = code[piece_start - start:piece_end - start]
            if kind == "data":
                for at in range(0, len(piece), 4):
                    found.append(Instruction(piece_start + at, len(piece[at:at + 4]), ".word",
                                             piece[at:at + 4].hex(), piece[at:at + 4]))
                continue
            engine = self._engine(kind == "thumb")
            unit = 2 if kind == "thumb" else self.unit
            offset = 0
            while offset < len(piece):
                for address, size, mnemonic, operands in engine.disasm_lite(piece[offset:], piece_start + offset):
                    found.append(Instruction(address, size, mnemonic, operands,
                                             piece[address - piece_start:address - piece_start + size]))
                    offset = address - piece_start + size
                if offset < len(piece):
                    # Capstone stops at bytes it cannot decode: keep them as data.
                    width = min(unit, len(piece) - offset)
                    found.append(Instruction(piece_start + offset, width, ".byte",
                                             ", ".join(f"{b:#04x}" for b in piece[offset:offset + width]),
                                             piece[offset:offset + width]))
                    offset += width
        return found


def decoder(binary):
    """The Decoder of an executable, or raises Undecodable."""
    return Decoder(binary)
