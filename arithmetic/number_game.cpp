// number_game: transforms a number by the rule that its remainder modulo 5
// selects.

#include <cstdint>
#include <cstdio>

#include "suite.hpp"

int main() {
    std::int32_t n = 0;  // a number that cannot be read leaves 0

    std::puts("please insert a positive number");
    std::scanf("%i", &n);

    // Division and remainder truncate toward zero, so the remainder of a
    // negative n is negative unless n is a multiple of 5.
    switch (n % 5) {
        case 0: n = n / 5; break;
        case 1: n = suite::wrap_mul(n, n); break;
        case 2: n = n % 3; break;
        case 3: n = (n - 3) / 5; break;
        case 4: n = suite::wrap_mul(n, n - 1); break;
        default: std::puts("do'h"); break;
    }
    std::printf("I have a number for you: %i\n", n);
    return 0;
}
