// echo_console: quick_sort without the sort.  Reads a count and that many
// numbers into one heap block with Console and prints them unchanged, one
// per line: the reading and printing share of a sorting run.
#include <cstdint>

#include "suite.hpp"

int main() {
    suite::Console io;
    const std::int32_t count = io.read_int();
    if (count <= 0) return 1;
    const auto block = suite::allocate_array<std::int32_t>(static_cast<std::uint64_t>(count));
    if (!block) return 1;
    std::int32_t* const values = block.get();
    for (std::int32_t i = 0; i < count; ++i) values[i] = io.read_int();
    for (std::int32_t i = 0; i < count; ++i) io.print("%i\n", values[i]);
    return 0;
}
