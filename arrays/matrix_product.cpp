// matrix_product: reads two square matrices of any dimension into heap
// blocks and prints both products, a * b and then b * a, row by row.

#include <cstdint>
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
        for (Index j = 0; j < dimension; j++) suite::printf("%i ", matrix[i * dimension + j]);
        suite::putchar('\n');
    }
}

}  // namespace

int main() {
    std::int32_t dimension;

    suite::puts("please enter the dimension: ");
    suite::scanf("%i", &dimension);

    // Sized in 64 bits, and asked for only when all three fit in memory.
    const std::uint64_t size = suite::block_bytes(std::int64_t{dimension} * dimension, sizeof(std::int32_t));
    auto* a = static_cast<std::int32_t*>(suite::malloc(size, 3));
    auto* b = static_cast<std::int32_t*>(suite::malloc(size, 3));
    auto* product = static_cast<std::int32_t*>(suite::malloc(size, 3));
    // A positive dimension whose blocks cannot be had is refused.
    if (dimension > 0 && (a == nullptr || b == nullptr || product == nullptr)) return -1;

    suite::printf("please enter the %i * %i elements of a: \n", dimension, dimension);
    for (Index i = 0; i < dimension; i++) {
        for (Index j = 0; j < dimension; j++) suite::scanf("%i", &a[i * dimension + j]);
    }
    suite::printf("please enter the %i * %i elements of b: \n", dimension, dimension);
    for (Index i = 0; i < dimension; i++) {
        for (Index j = 0; j < dimension; j++) suite::scanf("%i", &b[i * dimension + j]);
    }

    multiply_matrices(a, b, product, dimension);
    suite::puts("a * b is:");
    print_matrix(product, dimension);

    multiply_matrices(b, a, product, dimension);
    suite::puts("b * a is:");
    print_matrix(product, dimension);

    std::free(a);
    std::free(b);
    std::free(product);
    return 0;
}
