// quick_sort: reads a count and that many numbers into one heap block,
// sorts them by partition exchange around the middle element's value and
// prints one number per line.

#include <algorithm>
#include <bit>
#include <cstdint>

#include "suite.hpp"

namespace {

#ifdef QUICK_SORT_REPORT_FALLBACKS
// The tests' build only: ranges finished by heap sort, reported at the end.
std::int64_t heap_sort_fallbacks = 0;
#endif

// Sorts positions lo to hi (both inclusive).  Each partition is the classic
// one around the value of the middle element; of its two parts the smaller
// is sorted by a nested call and the larger by the next round of the loop,
// so calls never nest deeper than log2 of the count, whatever the input.
//
// Inputs such as organ pipes, or values arranged against the middle pivot,
// make nearly every partition split off a few elements: time in the square
// of the count.  So a range is finished by heap sort in place once the
// splits above it have used up `uneven_left`, the uneven splits allowed
// (main allows twice the count's binary digits).  A split is uneven when its
// smaller part holds under a sixteenth of a range of over 32 elements;
// smaller ranges split unevenly by chance often, and cost little.  Measured
// up to 10,000,000 numbers, random input has at most 16 uneven splits on one
// path (48 allowed), sorted, reversed and equal values none, while crafted
// input has nothing else.  The plain depth would not do: on random input it
// reaches 2.7 log2 of the count.
void sort_quick(std::int32_t* values, std::int64_t lo, std::int64_t hi, std::int32_t uneven_left) {
    while (lo < hi) {
        if (uneven_left == 0) {
            std::make_heap(values + lo, values + hi + 1);
            std::sort_heap(values + lo, values + hi + 1);
#ifdef QUICK_SORT_REPORT_FALLBACKS
            ++heap_sort_fallbacks;
#endif
            return;
        }
        const std::int32_t pivot = values[(lo + hi) / 2];
        std::int64_t i = lo;
        std::int64_t j = hi;
        do {
            while (values[i] < pivot && i < hi) ++i;
            while (pivot < values[j] && j > lo) --j;
            if (i <= j) {
                const std::int32_t kept = values[i];
                values[i] = values[j];
                values[j] = kept;
                ++i;
                --j;
            }
        } while (i <= j);
        // Now lo..j holds values no larger than the pivot, i..hi values no
        // smaller; a part of one position is already in place.
        const std::int64_t size = hi - lo + 1;
        if (size > 32 && 16 * (std::min(j - lo, hi - i) + 1) < size) --uneven_left;
        if (j - lo < hi - i) {
            if (lo < j) sort_quick(values, lo, j, uneven_left);
            lo = i;
        } else {
            if (i < hi) sort_quick(values, i, hi, uneven_left);
            hi = j;
        }
    }
}

}  // namespace

int main() {
    suite::Console io;
    const std::int32_t count = io.read_int();
    if (count <= 0) return -1;

    const auto block = suite::allocate_array<std::int32_t>(static_cast<std::uint64_t>(count));
    if (!block) return -1;
    std::int32_t* const values = block.get();

    for (std::int32_t i = 0; i < count; ++i) values[i] = io.read_int();
    sort_quick(values, 0, count - 1, 2 * static_cast<std::int32_t>(std::bit_width(static_cast<std::uint32_t>(count))));
    for (std::int32_t i = 0; i < count; ++i) io.print("%i\n", values[i]);
#ifdef QUICK_SORT_REPORT_FALLBACKS
    char line[48] = "heap sort fallbacks: ";
    char* end = std::to_chars(line + std::strlen(line), line + sizeof line - 1, heap_sort_fallbacks).ptr;
    *end++ = '\n';
    [[maybe_unused]] const ssize_t written = ::write(2, line, static_cast<std::size_t>(end - line));
#endif
    return 0;
}
