// <program>_in_memory N SEED [print]: the program's sort routine on the
// numbers of `make_input random N SEED` made in memory, printing a checksum
// of their order ("print": the numbers).  Its source is compiled in (with
// QUICK_SORT or HEAP_SORT defined), main renamed to a function nobody calls.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "splitmix64.hpp"

#pragma GCC diagnostic ignored "-Wunused-function"
#define main static program_main
#if defined(QUICK_SORT)
#include "quick_sort.cpp"
#define SORT(values, count) sort_quick(values, 0, count - 1)
#else
#include "heap_sort.cpp"
#define SORT(values, count) sort_heap(values, count)
#endif
#undef main

int main(int argc, char** argv) {
    const std::int32_t count = argc > 2 ? std::atoi(argv[1]) : 0;
    auto* const values = static_cast<std::int32_t*>(std::malloc(sizeof(std::int32_t) * static_cast<std::size_t>(count)));
    if (count <= 0 || values == nullptr) return 2;
    SplitMix64 random{std::strtoull(argv[2], nullptr, 10)};
    for (std::int32_t i = 0; i < count; ++i) values[i] = random.any_int();
    SORT(values, count);
    std::int32_t checksum = 0;
    for (std::int32_t i = 0; i < count; ++i) {
        if (argc > 3) std::printf("%i\n", values[i]);
        checksum = suite::wrap_add(checksum, suite::wrap_mul(values[i], i + 1));
    }
    if (argc <= 3) std::printf("%i\n", checksum);
    std::free(values);
    return 0;
}
