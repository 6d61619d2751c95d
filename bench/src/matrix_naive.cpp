// matrix_naive: matrix_product's dialogue with the plain triple loop, each
// cell summed directly over the inner index: the baseline of its strips.
#include <cstdint>

#include "suite.hpp"

namespace {

void multiply(const std::int32_t* left, const std::int32_t* right, std::int32_t* result, std::int32_t n) {
    for (std::int32_t i = 0; i < n; ++i) {
        for (std::int32_t j = 0; j < n; ++j) {
            std::int32_t sum = 0;
            for (std::int32_t k = 0; k < n; ++k)
                sum = suite::wrap_add(sum, suite::wrap_mul(left[i * n + k], right[k * n + j]));
            result[i * n + j] = sum;
        }
    }
}

void read_matrix(suite::Console& io, std::int32_t* matrix, std::int32_t n) {
    for (std::int32_t i = 0; i < n * n; ++i) matrix[i] = io.read_int();
}

void print_matrix(suite::Console& io, const std::int32_t* matrix, std::int32_t n) {
    for (std::int32_t i = 0; i < n; ++i) {
        for (std::int32_t j = 0; j < n; ++j) io.print("%i ", matrix[i * n + j]);
        io.print("\n");
    }
}

}  // namespace

int main() {
    suite::Console io;
    io.print("please enter the dimension: \n");
    const std::int32_t n = io.read_int();
    if (n <= 0 || n > 32767) return 1;
    const auto cells = static_cast<std::uint64_t>(n) * static_cast<std::uint64_t>(n);
    const auto a = suite::allocate_array<std::int32_t>(cells);
    const auto b = suite::allocate_array<std::int32_t>(cells);
    const auto product = suite::allocate_array<std::int32_t>(cells);
    if (!a || !b || !product) return 1;

    io.print("please enter the %i * %i elements of a: \n", n, n);
    read_matrix(io, a.get(), n);
    io.print("please enter the %i * %i elements of b: \n", n, n);
    read_matrix(io, b.get(), n);

    multiply(a.get(), b.get(), product.get(), n);
    io.print("a * b is:\n");
    print_matrix(io, product.get(), n);
    multiply(b.get(), a.get(), product.get(), n);
    io.print("b * a is:\n");
    print_matrix(io, product.get(), n);
    return 0;
}
