// factorials: prints the factorials of two numbers under one heading.

#include <cstdint>
#include <cstdio>

#include "suite.hpp"

namespace {

// n! modulo 2^32, 1 for n <= 0: the product of n, n - 1, ..., 1, taken in
// a loop rather than by n nested calls, so that no n needs more stack.
std::int32_t factorial(std::int32_t n) {
    std::int32_t product = 1;
    for (std::int32_t factor = n; factor > 0; factor--) product = suite::wrap_mul(product, factor);
    return product;
}

}  // namespace

int main() {
    // Zero before the reading: a number that cannot be read leaves 0.
    std::int32_t a = 0;
    std::int32_t b = 0;

    std::printf("please enter two numbers:\n");
    std::scanf("%i%i", &a, &b);
    a = factorial(a);
    b = factorial(b);
    std::printf("factorials are:\n%i\n%i\n", a, b);
    return 0;
}
