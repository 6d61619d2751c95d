// write_printf: write_console with the C library's printf("%i\n").
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "printed_numbers.hpp"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const auto count = static_cast<std::int32_t>(std::atol(argv[1]));
    for (std::int32_t i = 0; i < count; ++i) std::printf("%i\n", printed_number(i));
    return 0;
}
