# Sourced by the test scripts: ctest_counts FILE prints "passed/skipped/failed"
# of the ctest run whose output is FILE, or "-" when it holds no summary.
ctest_counts() {
    local total failed skipped
    total=$(sed -nE 's/^[0-9]+% tests passed, [0-9]+ tests failed out of ([0-9]+)$/\1/p' "$1")
    failed=$(sed -nE 's/^[0-9]+% tests passed, ([0-9]+) tests failed out of [0-9]+$/\1/p' "$1")
    skipped=$(grep -cE '^\s*[0-9]+ - .* \(Skipped\)$' "$1") || true
    [[ -n $total ]] && echo "$((total - failed - skipped))/$skipped/$failed" || echo -
}
