// write_console: prints the numbers i * 0x9E3779B1 (wrapped) for i from 0
// to N - 1, N given as the argument, with Console::print("%i\n").  They
// spread over every width from 1 to 11 characters.  Its twins write_printf
// and write_fmt print the same bytes with printf("%i\n") and fmt.
#include <cstdint>
#include <cstdlib>

#include "fast_console.hpp"
#include "printed_numbers.hpp"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const auto count = static_cast<std::int32_t>(std::atol(argv[1]));
    suite::Console io;
    for (std::int32_t i = 0; i < count; ++i) io.print("%i\n", printed_number(i));
    return 0;
}
