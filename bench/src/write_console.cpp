// write_console: prints the numbers i * 0x9E3779B1 (wrapped) for i from 0
// to N - 1, N given as the argument, with Console::print("%i\n").  They
// spread over every width from 1 to 11 characters.  Its twin write_printf
// does the same with printf("%i\n").
#include <cstdint>
#include <cstdlib>

#include "suite.hpp"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const auto count = static_cast<std::int32_t>(std::atol(argv[1]));
    suite::Console io;
    for (std::int32_t i = 0; i < count; ++i) io.print("%i\n", suite::wrap_mul(i, -1640531535));
    return 0;
}
