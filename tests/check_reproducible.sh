#!/usr/bin/env bash
# Two promises of the build itself, checked against a folder the release
# preset built (default build/release/bin):
# - The build does not depend on where the source is: a copy of the source
#   at another path builds byte-identical executables, debug files,
#   remarks and manifest.
# - Neither debug information nor the record of the optimisation decisions
#   changes anything an executable loads: the same build without -g and
#   without -fsave-optimization-record loads the same bytes (the manifests'
#   loaded_sha256: every section loaded into memory, but the build-id note,
#   which the linker hashes over the whole file).
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
# Every file the copy's build wrote, each of which the folder must hold too.
for file in "$copy"/build/release/bin/{*_b[0-9],*_b[0-9].debug,*_b[0-9].remarks.jsonl,manifest.jsonl}; do
    [[ -e $file ]] || continue
    compared=$((compared + 1))
    name=$(basename "$file")
    if [[ ! -e $reference/$name ]]; then
        echo "missing from $reference: $name"
        different=$((different + 1))
    elif ! cmp -s "$file" "$reference/$name"; then
        echo "differs: $name"
        different=$((different + 1))
    fi
done
remarks=$(compgen -G "$copy/build/release/bin/*.remarks.jsonl" | wc -l)
echo "$compared files compared ($remarks of them remarks), $different differ"
((different == 0 && remarks > 0)) || status=1

echo "=== the same build without debug information and without the optimisation records"
build build/plain -DSUITE_DEBUG_INFO=OFF -DSUITE_REMARKS=OFF
if compgen -G "$copy/build/plain/bin/*.remarks.jsonl" >/dev/null; then
    echo "the build with SUITE_REMARKS=OFF wrote remarks"
    status=1
fi
/usr/bin/python3 - "$reference/manifest.jsonl" "$copy/build/plain/bin/manifest.jsonl" <<'COMPARE' || status=1
import json, sys
with_g, without_g = ({e["file"]: e for e in map(json.loads, open(path))} for path in sys.argv[1:])
differ = [file for file in with_g if with_g[file]["loaded_sha256"] != without_g.get(file, {}).get("loaded_sha256")]
for file in differ:
    print(f"loads other bytes than without -g and the records: {file}")
print(f"{len(with_g)} executables compared with the build without -g and the records, {len(differ)} load other bytes")
sys.exit(1 if differ or not with_g else 0)
COMPARE
exit "$status"
