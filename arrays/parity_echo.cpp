// parity_echo: reads two arrays of up to 16 numbers, folds every element
// into one exclusive-or as it is read, and echoes the first array when the
// result is odd, the second when it is even.

#include <cstdint>
#include <cstdio>

#include "suite.hpp"

int main() {
    // Zero before the reading: a number that cannot be read leaves 0.
    std::int32_t count = 0;
    std::int32_t a[16] = {};
    std::int32_t b[16] = {};
    std::int32_t xor_sum = 0;
    const std::int32_t* chosen;

    std::printf("please enter the number of elements: \n");
    std::scanf("%i", &count);
    if (count > 16) count = 16;

    std::printf("please enter the %i elements of a: \n", count);
    for (std::int32_t i = 0; i < count; i++) {
        std::scanf("%i", &a[i]);
        xor_sum ^= a[i];
    }
    std::printf("please enter the %i elements of b: \n", count);
    for (std::int32_t i = 0; i < count; i++) {
        std::scanf("%i", &b[i]);
        xor_sum ^= b[i];
    }

    if (xor_sum & 1) {
        std::printf("I feel like printing a:\n");
        chosen = a;
    } else {
        std::printf("I feel like printing b:\n");
        chosen = b;
    }
    for (std::int32_t i = 0; i < count; i++) std::printf(" %i", chosen[i]);
    std::printf("\n");
    return 0;
}
