// heap_sort: reads a count and that many numbers into one heap block,
// sorts them by heap sort over a max-heap and prints one number per line.

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "suite.hpp"

namespace {

// Positions count in 64 bits: a child's position 2 * root + 2 passes the
// 32-bit range in a heap of over 1073741823 elements.
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
    for (;;) {
        const Position child = 2 * root + 1;
        if (child > end) return;
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
    for (Position start = (count - 2) / 2; start >= 0; start--) sift_down(values, start, count - 1);
}

// Moves the largest remaining value behind the heap, one at a time.
void sort_heap(std::int32_t* values, Position count) {
    build_heap(values, count);
    Position end = count - 1;
    while (end > 0) {
        swap_values(values, end, 0);
        end--;
        sift_down(values, 0, end);
    }
}

}  // namespace

int main() {
    std::int32_t count = 0;  // a number that cannot be read leaves 0

    std::scanf("%i", &count);
    // Sized in 64 bits for a positive count, so that the block holds it;
    // malloc refuses a block that memory cannot hold.
    auto* values = static_cast<std::int32_t*>(std::malloc(suite::block_bytes(count, sizeof(std::int32_t))));
    if (values == nullptr) return -1;

    for (std::int32_t i = 0; i < count; i++) {
        values[i] = 0;  // a number that cannot be read leaves 0
        std::scanf("%i", &values[i]);
    }
    sort_heap(values, count);
    for (std::int32_t i = 0; i < count; i++) std::printf("%i\n", values[i]);
    return 0;
}
