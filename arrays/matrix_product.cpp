// matrix_product: reads two square matrices of any dimension into heap
// blocks and prints both products, a * b and then b * a, row by row.

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "suite.hpp"

namespace {

// Rows, columns and the inner index count in 64 bits: a position
// i * dimension + j passes the 32-bit range above a dimension of 46340.
using Index = std::int64_t;

// result := left * right, row by row, each cell cleared just before its
// own sum is formed; products and sums wrap modulo 2^32.
void multiply_matrices(const std::int32_t* left, const std::int32_t* right, std::int32_t* result,
                       std::int32_t dimension) {
    if (dimension <= 0) return;
    for (Index i = 0; i < dimension; i++) {
        for (Index j = 0; j < dimension; j++) {
            result[i * dimension + j] = 0;
            for (Index k = 0; k < dimension; k++) {
                result[i * dimension + j] = suite::wrap_add(
                    result[i * dimension + j], suite::wrap_mul(left[i * dimension + k], right[k * dimension + j]));
            }
        }
    }
}

void print_matrix(const std::int32_t* matrix, std::int32_t dimension) {
    if (dimension <= 0) return;
    for (Index i = 0; i < dimension; i++) {
        for (Index j = 0; j < dimension; j++) std::printf("%i ", matrix[i * dimension + j]);
        std::putchar('\n');
    }
}

}  // namespace

int main() {
    std::int32_t dimension = 0;  // a number that cannot be read leaves 0

    std::puts("please enter the dimension: ");
    std::scanf("%i", &dimension);

    // Sized in 64 bits, and refused by malloc unless all three fit in memory.
    const std::size_t size = suite::block_bytes(std::int64_t{dimension} * dimension, sizeof(std::int32_t), 3);
    auto* a = static_cast<std::int32_t*>(std::malloc(size));
    auto* b = static_cast<std::int32_t*>(std::malloc(size));
    auto* product = static_cast<std::int32_t*>(std::malloc(size));
    // A positive dimension whose blocks cannot be had is refused.
    if (dimension > 0 && (a == nullptr || b == nullptr || product == nullptr)) return -1;

    std::printf("please enter the %i * %i elements of a: \n", dimension, dimension);
    for (Index i = 0; i < dimension; i++) {
        for (Index j = 0; j < dimension; j++) {
            a[i * dimension + j] = 0;  // a number that cannot be read leaves 0
            std::scanf("%i", &a[i * dimension + j]);
        }
    }
    std::printf("please enter the %i * %i elements of b: \n", dimension, dimension);
    for (Index i = 0; i < dimension; i++) {
        for (Index j = 0; j < dimension; j++) {
            b[i * dimension + j] = 0;  // a number that cannot be read leaves 0
            std::scanf("%i", &b[i * dimension + j]);
        }
    }

    multiply_matrices(a, b, product, dimension);
    std::puts("a * b is:");
    print_matrix(product, dimension);

    multiply_matrices(b, a, product, dimension);
    std::puts("b * a is:");
    print_matrix(product, dimension);

    std::free(a);
    std::free(b);
    std::free(product);
    return 0;
}
