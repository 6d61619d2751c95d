// quick_sort_in_memory, heap_sort_in_memory: a sorting program's own sort on
// its benchmark input made in memory, nothing read and nothing printed but a
// checksum: the program's run without its input and output.
//
//   <program>_in_memory N SEED [print | unsorted]
//
// The N numbers are those of `make_input random N SEED` (the same
// generator), in one block from malloc taken after the console, as the
// program takes them.  The sort is the program's own: its source file
// is compiled into this one with its main renamed, and the routine is called
// as that main calls it.  The checksum depends on the order of the numbers, so
// the sort cannot be left out.  "print" prints the sorted numbers one per
// line instead, to compare with the program's output; "unsorted" skips the
// sort, which leaves the making of the numbers and the checksum alone.
//
// Built with SORT_QUICK or SORT_HEAP defined and the programs' folder
// (sorting/) on the include path, with the flags and definitions of the
// program's build with the fast console (SUITE_CONSOLE_FAST), whose
// Console prints the result.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "splitmix64.hpp"
#include "suite.hpp"

#if !SUITE_CONSOLE_FAST
#error "build with the definitions of the fast console's build: SUITE_CONSOLE_FAST=1"
#endif

// The program's main becomes a static function that nothing calls and the
// compiler drops, so the sort keeps the single caller it has in the program.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#define main static program_main
#if defined(SORT_QUICK)
#include "quick_sort.cpp"
#elif defined(SORT_HEAP)
#include "heap_sort.cpp"
#else
#error "define SORT_QUICK or SORT_HEAP"
#endif
#undef main
#pragma GCC diagnostic pop

namespace {

// The routine as the program's main calls it on `count` numbers.
void sort_as_program(std::int32_t* values, std::int32_t count) {
#if defined(SORT_QUICK)
    sort_quick(values, 0, count - 1);
#else
    sort_heap(values, count);
#endif
}

}  // namespace

int main(int argc, char** argv) {
    const bool print = argc == 4 && std::strcmp(argv[3], "print") == 0;
    const bool unsorted = argc == 4 && std::strcmp(argv[3], "unsorted") == 0;
    if (argc != 3 && !print && !unsorted) return 2;
    const long long requested = std::atoll(argv[1]);
    if (requested <= 0 || requested > INT32_MAX) return 2;
    const auto count = static_cast<std::int32_t>(requested);

    suite::Console io;
    auto* const values = static_cast<std::int32_t*>(std::malloc(sizeof(std::int32_t) * static_cast<std::size_t>(count)));
    if (values == nullptr) return 1;
    SplitMix64 random(std::strtoull(argv[2], nullptr, 10));
    for (std::int32_t i = 0; i < count; ++i) values[i] = random.any_int();

    if (!unsorted) sort_as_program(values, count);
    if (print) {
        for (std::int32_t i = 0; i < count; ++i) io.print("%i\n", values[i]);
    } else {
        std::int32_t checksum = 0;
        for (std::int32_t i = 0; i < count; ++i) checksum = suite::wrap_add(checksum, suite::wrap_mul(values[i], i + 1));
        io.print("%i\n", checksum);
    }
    std::free(values);
    return 0;
}
