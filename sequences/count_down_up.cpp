// count_down_up: for a positive n prints n - 1 down to 0, then n, then 0 up
// to n - 1, one number per line.

#include <cstdint>

#include "suite.hpp"

int main() {
    suite::Console io;
    const std::int32_t n = io.read_int();
    if (n <= 0) return -1;

    for (std::int32_t i = n - 1; i >= 0; --i) io.print("%i\n", i);
    io.print("%i\n", n);
    for (std::int32_t j = 0; j < n; ++j) io.print("%i\n", j);
    return 0;
}
