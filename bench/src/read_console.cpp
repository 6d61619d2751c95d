// read_console: reads a count and that many numbers with Console::read_int
// and prints their wrapped sum.  Its twin read_scanf does the same with
// scanf("%i").
#include <cstdint>

#include "fast_console.hpp"

int main() {
    suite::Console io;
    const std::int32_t count = io.read_int();
    std::uint32_t sum = 0;  // wraps modulo 2^32
    for (std::int32_t i = 0; i < count; ++i) sum += static_cast<std::uint32_t>(io.read_int());
    io.print("%i\n", static_cast<std::int32_t>(sum));
    return 0;
}
