"""The instructions one run of a program executes, counted by callgrind
(valgrind --tool=callgrind --dump-instr=yes), per instruction address of
the executable's file.

callgrind's output is valgrind's own profile format: lines naming the
object (ob=), file (fl=, fi=, fe=) and function (fn=) that the cost lines
after them belong to, names given once as "(id) name" and later as "(id)";
a cost line is the instruction's address (absolute "0x...", or relative to
the previous one: "+n", "-n", "*") followed by its counts; the cost line
after a calls= line is what the call cost inclusively, not the caller's own.

Profiles are kept in a cache folder keyed by the digests of the executable
and of the input, so that a second build of a site runs nothing."""

import hashlib
import json
import os
import shutil
import subprocess
import tempfile

VALGRIND = "valgrind"


class ProfileError(Exception):
    """A run that could not be measured; one line."""


def valgrind_runs(machine, native):
    """None where valgrind can measure executables of the ELF machine on
    this one, else the reason it cannot."""
    if shutil.which(VALGRIND) is None:
        return "valgrind is not installed (Debian: valgrind)"
    if machine == native:
        return None
    if native == "EM_X86_64" and machine == "EM_386":
        return None
    return f"callgrind runs only this machine's executables ({native}), not {machine}"


def parse(text, objects):
    """{address: executed instructions} of the cost lines of the objects
    whose ob= names end with one of `objects` (file names)."""
    names = {"ob": {}, "fl": {}, "fn": {}}  # each kind of name has ids of its own
    kinds = {"ob": "ob", "cob": "ob", "fl": "fl", "fi": "fl", "fe": "fl", "cfi": "fl", "cfl": "fl",
             "fn": "fn", "cfn": "fn"}
    positions = 1
    counts = {}
    ours = False
    last = 0
    skip_next = False

    def name_of(kind, value):
        value = value.strip()
        if value.startswith("("):
            close = value.find(")")
            key, rest = value[1:close], value[close + 1:].strip()
            if rest:
                names[kind][key] = rest
            return names[kind].get(key, "")
        return value

    for line in text.splitlines():
        if not line:
            continue
        first = line[0]
        if first.isdigit() or first in "+-*":
            fields = line.split()
            position = fields[0]
            if position.startswith("0x"):
                address = int(position, 16)
            elif position[0] == "+":
                address = last + int(position[1:], 0)
            elif position[0] == "-":
                address = last - int(position[1:], 0)
            elif position == "*":
                address = last
            else:
                address = int(position, 0)
            last = address
            if skip_next:
                skip_next = False
                continue
            if ours and len(fields) > positions:
                counts[address] = counts.get(address, 0) + int(fields[positions])
            continue
        key, _, value = line.partition("=")
        if key == "ob":
            name = name_of("ob", value)
            ours = any(name == o or name.endswith("/" + o) for o in objects)
        elif key in kinds:
            name_of(kinds[key], value)
        elif key == "calls":
            skip_next = True
        elif line.startswith("positions:"):
            positions = len(line.split()) - 1
    return counts


def run(path, input_path, timeout=120):
    """{address in the running process's object: executed instructions}
    and the function whose first address was run (for checking the load
    offset): callgrind run on the executable with the input."""
    with tempfile.TemporaryDirectory(prefix="explore-callgrind-") as work:
        out = os.path.join(work, "callgrind.out")
        try:
            with open(input_path, "rb") as stdin:
                done = subprocess.run([VALGRIND, "--tool=callgrind", "--dump-instr=yes", "--dump-line=no",
                                       "--compress-strings=yes", f"--callgrind-out-file={out}",
                                       os.path.abspath(path)],
                                      stdin=stdin, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                                      timeout=timeout, cwd=work)
        except subprocess.TimeoutExpired:
            raise ProfileError(f"callgrind did not finish in {timeout} s")
        except OSError as error:
            raise ProfileError(f"valgrind cannot be started ({error.strerror})")
        if not os.path.exists(out):
            lines = [line for line in done.stderr.decode(errors="replace").splitlines() if line.strip()]
            raise ProfileError("callgrind wrote no profile: " + (lines[-1] if lines else f"status {done.returncode}"))
        with open(out, errors="replace") as f:
            text = f.read()
    return parse(text, [os.path.basename(path), os.path.abspath(path)])


def digest(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def profile(path, input_path, cache=None, timeout=120, loaded=None):
    """(counts, cached) of one run, from the cache folder where it holds
    the run of the same code on the same input: keyed by the digest of
    what the executable loads (`loaded`, else the whole file's), since two
    builds that load the same bytes run alike; with its debug link and
    build id apart, b2 and b3 of a program are often such a pair."""
    key = None
    if cache:
        key = os.path.join(cache, f"{(loaded or digest(path))[:32]}-{digest(input_path)[:16]}.json")
        try:
            with open(key) as f:
                return {int(address): count for address, count in json.load(f).items()}, True
        except (OSError, ValueError, AttributeError):
            pass
    counts = run(path, input_path, timeout)
    if key:
        try:
            os.makedirs(cache, exist_ok=True)
            part = f"{key}.{os.getpid()}.part"
            with open(part, "w") as f:
                json.dump({str(address): count for address, count in sorted(counts.items())}, f)
            os.replace(part, key)
        except OSError:
            pass  # a cache that cannot be written only costs the next run time
    return counts, False


def load_offset(counts, main):
    """The offset to take off the profile's addresses to reach the file's:
    callgrind 3.19 gives an object's addresses relative to where it was
    loaded, which for a position-independent executable are the file's;
    valgrind itself loads such an executable at 0x108000 (0x4000000 on
    32-bit machines), should another version give run-time addresses.
    main always runs from its first instruction: the offset is the one
    that puts a count there.  None when none does."""
    if not counts or main is None:
        return None
    for offset in (0, 0x108000, 0x4000000):
        if counts.get(main + offset):
            return offset
    return None
