// quick_sort_direct: quick_sort written straight against the C library,
// without the suite's header: each number read with scanf("%lli") into a
// long long that keeps its low 32 bits, the same sort, the numbers printed
// with printf("%i\n").  Built like quick_sort_b2, it shows what the header's
// few lines around each call cost.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

std::int32_t read_number() {
    long long wide = 0;
    std::scanf("%lli", &wide);
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<unsigned long long>(wide)));
}

// The program's routine: one partition around the value of the middle
// element, the right part by a nested call, the left part by the next round
// of the loop; a range whose splits above it were too often uneven is
// finished by heap sort.
void sort_quick(std::int32_t* values, std::int32_t lo, std::int32_t hi, std::int32_t uneven_left = 62) {
    for (;;) {
        if (uneven_left == 0) {
            std::make_heap(values + lo, values + hi + 1);
            std::sort_heap(values + lo, values + hi + 1);
            return;
        }
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
    const std::int32_t count = read_number();
    if (count <= 0) return -1;
    auto* values = static_cast<std::int32_t*>(std::malloc(sizeof(std::int32_t) * static_cast<std::size_t>(count)));
    if (values == nullptr) return -1;

    for (std::int32_t i = 0; i < count; i++) values[i] = read_number();
    sort_quick(values, 0, count - 1);
    for (std::int32_t i = 0; i < count; i++) std::printf("%i\n", values[i]);
    std::free(values);
    return 0;
}
