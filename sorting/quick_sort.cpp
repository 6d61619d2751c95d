// quick_sort: reads a count and that many numbers into one heap block,
// sorts them by partition exchange around the middle element's value and
// prints one number per line.

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "suite.hpp"

#ifdef QUICK_SORT_REPORT_FALLBACKS
#include "quick_sort_probe.hpp"
#endif

namespace {

// Sorts positions lo to hi (both inclusive): one partition around the
// value of the middle element, then the right part by a nested call and
// the left part, the call's last action, by the next round of the loop,
// so that only right parts nest.
//
// Two bounds keep any input from costing time in the square of the count
// or a call nested per element, as input arranged against the middle pivot
// would (an organ pipe, or numbers crafted so): a range is finished by heap
// sort in place once the calls above it have nested 2 * (binary digits of
// the count) - 1 deep, so that no input nests more than 2 log2(count) + 2
// calls, or once the splits above it have used up the uneven ones allowed
// (a split is uneven when its smaller part holds under a sixteenth of a
// range of over 32 elements; twice the 31 binary digits of the largest
// count are allowed).  Random, sorted, reversed and equal input never reach
// either bound.
void sort_quick(std::int32_t* values, std::int32_t lo, std::int32_t hi, std::int32_t nesting_left = -1,
                std::int32_t uneven_left = 62) {
    if (nesting_left < 0) {
        nesting_left = 2 * static_cast<std::int32_t>(std::bit_width(static_cast<std::uint32_t>(hi - lo + 1))) - 1;
    }
#ifdef QUICK_SORT_REPORT_FALLBACKS
    const probe::Nesting nesting;
#endif
    for (;;) {
        if (nesting_left == 0 || uneven_left == 0) {
            std::make_heap(values + lo, values + hi + 1);
            std::sort_heap(values + lo, values + hi + 1);
#ifdef QUICK_SORT_REPORT_FALLBACKS
            probe::heap_sort_fallbacks++;
#endif
            return;
        }
        // The middle in 64 bits: lo + hi passes the 32-bit range.
        const std::int32_t pivot = values[(std::int64_t{lo} + hi) / 2];
        std::int32_t i = lo;
        std::int32_t j = hi;
        do {
            while (values[i] < pivot && i < hi) i++;
            while (pivot < values[j] && j > lo) j--;
            if (i <= j) {
                const std::int32_t kept = values[i];
                values[i] = values[j];
                values[j] = kept;
                i++;
                j--;
            }
        } while (i <= j);
        const std::int64_t size = std::int64_t{hi} - lo + 1;
        if (size > 32 && 16 * (std::min(j - lo, hi - i) + std::int64_t{1}) < size) uneven_left--;
        if (i < hi) sort_quick(values, i, hi, nesting_left - 1, uneven_left);
        if (!(lo < j)) return;
        hi = j;
    }
}

}  // namespace

int main() {
    std::int32_t count = 0;  // a number that cannot be read leaves 0

    std::scanf("%i", &count);
    if (count <= 0) return -1;
    // Sized in 64 bits, so that the block holds every element; malloc
    // refuses a block that memory cannot hold.
    auto* values = static_cast<std::int32_t*>(std::malloc(suite::block_bytes(count, sizeof(std::int32_t))));
    if (values == nullptr) return -1;  // a block that cannot be had is refused like a count

    for (std::int32_t i = 0; i < count; i++) {
        values[i] = 0;  // a number that cannot be read leaves 0
        std::scanf("%i", &values[i]);
    }
    sort_quick(values, 0, count - 1);
    for (std::int32_t i = 0; i < count; i++) std::printf("%i\n", values[i]);
    return 0;
}
