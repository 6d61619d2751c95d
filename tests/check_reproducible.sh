#!/usr/bin/env bash
# Two promises of the build itself, checked against a folder the release
# preset built (default build/release/bin):
# - The build does not depend on where the source is: a copy of the source
#   at another path builds byte-identical executables, debug files and
#   manifest.
# - Debug information changes nothing an executable loads: the same build
#   without -g loads the same bytes (the manifests' loaded_sha256: every
#   section loaded into memory, but the build-id note, which the linker
#   hashes over the whole file).
#   tests/check_reproducible.sh [FOLDER]
set -euo pipefail
cd "$(dirname "$0")/.."
reference=$(realpath "${1:-build/release/bin}")

scratch=$(mktemp -d /tmp/suite-copy.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
copy=$scratch/another/path/to/the/source
mkdir -p "$copy"
# The tracked files as they are now, changes not yet committed included.
git ls-files -z --cached --others --exclude-standard | xargs -0 cp --parents -t "$copy" 2>/dev/null || true

# build <tree> [cmake options]: the programs of the copy with the release
# preset's settings, without the tests.
build() {
    local tree=$1
    shift
    cmake --preset release -S "$copy" -B "$copy/$tree" -DSUITE_TESTS=OFF "$@" >"$scratch/$(basename "$tree").log" 2>&1 &&
        cmake --build "$copy/$tree" -j2 >>"$scratch/$(basename "$tree").log" 2>&1 ||
        { cat "$scratch/$(basename "$tree").log" >&2 && exit 1; }
}

status=0
echo "=== the same build from a copy of the source at $copy"
build build/release
different=0
compared=0
for file in "$reference"/*_b[0-9] "$reference"/*_b[0-9].debug "$reference"/manifest.jsonl; do
    [[ -e $file ]] || continue
    compared=$((compared + 1))
    if ! cmp -s "$file" "$copy/build/release/bin/$(basename "$file")"; then
        echo "differs: $(basename "$file")"
        different=$((different + 1))
    fi
done
echo "$compared files compared, $different differ"
((different == 0 && compared > 0)) || status=1

echo "=== the same build without debug information"
build build/plain -DSUITE_DEBUG_INFO=OFF
/usr/bin/python3 - "$reference/manifest.jsonl" "$copy/build/plain/bin/manifest.jsonl" <<'COMPARE' || status=1
import json, sys
with_g, without_g = ({e["file"]: e for e in map(json.loads, open(path))} for path in sys.argv[1:])
differ = [file for file in with_g if with_g[file]["loaded_sha256"] != without_g.get(file, {}).get("loaded_sha256")]
for file in differ:
    print(f"loads other bytes than without -g: {file}")
print(f"{len(with_g)} executables compared with the build without -g, {len(differ)} load other bytes")
sys.exit(1 if differ or not with_g else 0)
COMPARE
exit "$status"
