// factorials: prints the factorials of two numbers under one heading.

#include <cstdint>

#include "suite.hpp"

namespace {

// n! modulo 2^32; 1 for n <= 0.  The factors are taken from n downwards;
// once the product is 0 it stays 0, so from n = 34 on the loop ends within
// a few dozen factors instead of making n multiplications.
std::int32_t factorial(std::int32_t n) {
    std::int32_t product = 1;
    for (std::int32_t factor = n; factor > 0 && product != 0; --factor) product = suite::wrap_mul(product, factor);
    return product;
}

}  // namespace

int main() {
    suite::Console io;
    io.print("please enter two numbers:\n");
    const std::int32_t a = io.read_int();
    const std::int32_t b = io.read_int();
    io.print("factorials are:\n%i\n%i\n", factorial(a), factorial(b));
    return 0;
}
