// heap_sort: reads a count and that many numbers into one heap block,
// sorts them by heap sort over a max-heap and prints one number per line.

#include <cstddef>
#include <cstdint>

#include "suite.hpp"

namespace {

// Positions are 64-bit: a child position 2r + 2 may pass the range of a
// 32-bit count.
using Position = std::int64_t;

void swap_values(std::int32_t* values, Position i, Position j) {
    const std::int32_t kept = values[i];
    values[i] = values[j];
    values[j] = kept;
}

// Moves the element at `start` down the heap that ends at `end` (inclusive)
// until it is at least as large as its children.  Of two equal children the
// left one moves up.
void sift_down(std::int32_t* values, Position start, Position end) {
    Position root = start;
    for (Position child = 2 * root + 1; child <= end; child = 2 * root + 1) {
        Position pick = root;
        if (values[root] < values[child]) pick = child;
        if (child + 1 <= end && values[pick] < values[child + 1]) pick = child + 1;
        if (pick == root) return;
        swap_values(values, root, pick);
        root = pick;
    }
}

void build_heap(std::int32_t* values, Position count) {
    if (count <= 0) return;
    for (Position start = (count - 2) / 2; start >= 0; --start) sift_down(values, start, count - 1);
}

// Moves the largest remaining value behind the heap, one at a time.
void sort_heap(std::int32_t* values, Position count) {
    build_heap(values, count);
    for (Position end = count - 1; end > 0;) {
        swap_values(values, end, 0);
        --end;
        sift_down(values, 0, end);
    }
}

}  // namespace

int main() {
    suite::Console io;
    const std::int32_t count = io.read_int();

    // A count of 0 or below reads nothing, but the run still asks for the
    // block that count * 4 bytes give in 32-bit arithmetic (4294967292
    // bytes for -1, none for -2147483648) and ends by whether it is granted.
    const std::uint64_t elements =
        count > 0 ? static_cast<std::uint64_t>(count) : static_cast<std::uint32_t>(count) * std::uint32_t{4} / 4;
    const auto block = suite::allocate_array<std::int32_t>(elements);
    if (!block) return -1;
    std::int32_t* const values = block.get();

    for (std::int32_t i = 0; i < count; ++i) values[i] = io.read_int();
    sort_heap(values, count);
    for (std::int32_t i = 0; i < count; ++i) io.print("%i\n", values[i]);
    return 0;
}
