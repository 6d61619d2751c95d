// quick_sort: reads a count and that many numbers into one heap block,
// sorts them by partition exchange around the middle element's value and
// prints one number per line.

#include <cstdint>

#include "suite.hpp"

namespace {

// Sorts positions lo to hi (both inclusive).  Each partition is the classic
// one around the value of the middle element; of its two parts the smaller
// is sorted by a nested call and the larger by the next round of the loop,
// so calls never nest deeper than log2 of the count, whatever the input.
void sort_quick(std::int32_t* values, std::int64_t lo, std::int64_t hi) {
    while (lo < hi) {
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
        if (j - lo < hi - i) {
            if (lo < j) sort_quick(values, lo, j);
            lo = i;
        } else {
            if (i < hi) sort_quick(values, i, hi);
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
    sort_quick(values, 0, count - 1);
    for (std::int32_t i = 0; i < count; ++i) io.print("%i\n", values[i]);
    return 0;
}
