// read_console: reads a count and that many numbers with Console::read_int
// and prints their wrapped sum.  Its twin read_scanf does the same with
// scanf("%i").
#include <cstdint>

#include "suite.hpp"

int main() {
    suite::Console io;
    const std::int32_t count = io.read_int();
    std::int32_t sum = 0;
    for (std::int32_t i = 0; i < count; ++i) sum = suite::wrap_add(sum, io.read_int());
    io.print("%i\n", sum);
    return 0;
}
