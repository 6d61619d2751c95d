// count_down_up: for a positive n prints n - 1 down to 0, then n, then 0 up
// to n - 1, one number per line.

#include <cstdint>
#include <cstdio>

#include "suite.hpp"

int main() {
    std::int32_t n = 0;  // a number that cannot be read leaves 0

    std::scanf("%i", &n);
    if (n <= 0) return -1;

    std::int32_t i = n - 1;
    while (i >= 0) {
        std::printf("%i\n", i);
        i--;
    }
    std::printf("%i\n", n);
    std::int32_t j = 0;
    while (j < n) {
        std::printf("%i\n", j);
        j++;
    }
    return 0;
}
