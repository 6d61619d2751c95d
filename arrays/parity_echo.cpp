// parity_echo: reads two arrays of up to 16 numbers, folds every element
// into one exclusive-or as it is read, and echoes the first array when the
// result is odd, the second when it is even.

#include <cstdint>

#include "suite.hpp"

int main() {
    constexpr std::int32_t capacity = 16;
    suite::Console io;
    std::int32_t a[capacity];
    std::int32_t b[capacity];
    std::int32_t xor_sum = 0;

    io.print("please enter the number of elements: \n");
    std::int32_t count = io.read_int();
    if (count > capacity) count = capacity;

    io.print("please enter the %i elements of a: \n", count);
    for (std::int32_t i = 0; i < count; ++i) {
        a[i] = io.read_int();
        xor_sum ^= a[i];
    }
    io.print("please enter the %i elements of b: \n", count);
    for (std::int32_t i = 0; i < count; ++i) {
        b[i] = io.read_int();
        xor_sum ^= b[i];
    }

    const std::int32_t* chosen = b;
    if ((xor_sum & 1) != 0) {
        io.print("I feel like printing a:\n");
        chosen = a;
    } else {
        io.print("I feel like printing b:\n");
    }
    for (std::int32_t i = 0; i < count; ++i) io.print(" %i", chosen[i]);
    io.print("\n");
    return 0;
}
