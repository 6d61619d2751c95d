// quick_sort: reads a count and that many numbers into one heap block,
// sorts them by partition exchange around the middle element's value and
// prints one number per line.

#include <algorithm>
#include <cstdint>

#include "suite.hpp"

#ifdef QUICK_SORT_REPORT_FALLBACKS
#include <unistd.h>

#include <charconv>
#include <cstring>
#endif

namespace {

#ifdef QUICK_SORT_REPORT_FALLBACKS
// The tests' build only: ranges finished by heap sort, reported at the end.
std::int64_t heap_sort_fallbacks = 0;
#endif

// Sorts positions lo to hi (both inclusive): one partition around the
// value of the middle element, then the right part by a nested call and
// the left part, the call's last action, by the next round of the loop.
//
// `uneven_left` bounds the work: input such as an organ pipe, or values
// arranged against the middle pivot, makes nearly every partition split
// off a few elements, which takes time in the square of the count.  A
// split is uneven when its smaller part holds under a sixteenth of a range
// of over 32 elements; once the splits above a range have used up the
// uneven ones allowed (twice the 31 binary digits of the largest count),
// the range is finished by heap sort in place.  Random, sorted, reversed
// and equal input stay far from the bound; an even split leaves at most
// fifteen sixteenths of its range, so calls nest a few hundred deep at most.
void sort_quick(std::int32_t* values, std::int32_t lo, std::int32_t hi, std::int32_t uneven_left = 62) {
    for (;;) {
        if (uneven_left == 0) {
            std::make_heap(values + lo, values + hi + 1);
            std::sort_heap(values + lo, values + hi + 1);
#ifdef QUICK_SORT_REPORT_FALLBACKS
            heap_sort_fallbacks++;
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
        if (i < hi) sort_quick(values, i, hi, uneven_left);
        if (!(lo < j)) return;
        hi = j;
    }
}

}  // namespace

int main() {
    std::int32_t count;

    suite::scanf("%i", &count);
    if (count <= 0) return -1;
    // Sized in 64 bits, so that the block holds every element; a block
    // that cannot be had is refused like a count.
    auto* values = static_cast<std::int32_t*>(suite::malloc(suite::block_bytes(count, sizeof(std::int32_t))));
    if (values == nullptr) return -1;

    for (std::int32_t i = 0; i < count; i++) suite::scanf("%i", &values[i]);
    sort_quick(values, 0, count - 1);
    for (std::int32_t i = 0; i < count; i++) suite::printf("%i\n", values[i]);
#ifdef QUICK_SORT_REPORT_FALLBACKS
    char line[48] = "heap sort fallbacks: ";
    char* end = std::to_chars(line + std::strlen(line), line + sizeof line - 1, heap_sort_fallbacks).ptr;
    *end++ = '\n';
    [[maybe_unused]] const ssize_t written = ::write(2, line, static_cast<std::size_t>(end - line));
#endif
    return 0;
}
