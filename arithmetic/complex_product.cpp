// complex_product: multiplies two complex numbers with integer parts.

#include <cstdint>
#include <cstdio>

#include "suite.hpp"

namespace {

// Prints (real1 + imag1 i) * (real2 + imag2 i), parts wrapping modulo 2^32.
void print_complex_product(std::int32_t real1, std::int32_t imag1, std::int32_t real2, std::int32_t imag2) {
    using suite::wrap_add, suite::wrap_mul, suite::wrap_sub;
    const std::int32_t real = wrap_sub(wrap_mul(real1, real2), wrap_mul(imag1, imag2));
    const std::int32_t imaginary = wrap_add(wrap_mul(imag1, real2), wrap_mul(real1, imag2));
    std::printf("( %i, %i )\n", real, imaginary);
}

}  // namespace

int main() {
    // Zero before the reading: a number that cannot be read leaves 0.
    std::int32_t real1 = 0;
    std::int32_t imag1 = 0;
    std::int32_t real2 = 0;
    std::int32_t imag2 = 0;

    std::printf("please enter the real and imagnary part: \n");
    std::scanf("%i%i", &real1, &imag1);
    std::printf("and again: \n");
    std::scanf("%i%i", &real2, &imag2);
    print_complex_product(real1, imag1, real2, imag2);
    return 0;
}
