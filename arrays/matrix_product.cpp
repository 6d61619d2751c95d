// matrix_product: reads two square matrices of any dimension into heap
// blocks and prints both products, a * b and then b * a, row by row.

#include <array>
#include <cstddef>
#include <cstdint>

#include "suite.hpp"

namespace {

using suite::HeapArray;

// The columns of one result row that are summed at once.
constexpr std::size_t strip_width = 16;

// Forms `width` cells of one row of left * right, from column `column` on:
// the cells' sums are cleared and then built up together while the inner
// index walks down the rows of `right`, so that every step reads a run of
// adjacent elements instead of one element per row.
void multiply_strip(const std::int32_t* left_row, const std::int32_t* right, std::size_t n, std::size_t column,
                    std::size_t width, std::int32_t* result_row) {
    std::uint32_t sums[strip_width] = {};
    for (std::size_t k = 0; k < n; ++k) {
        const auto factor = static_cast<std::uint32_t>(left_row[k]);
        const std::int32_t* right_cells = right + k * n + column;
        for (std::size_t w = 0; w < width; ++w) sums[w] += factor * static_cast<std::uint32_t>(right_cells[w]);
    }
    for (std::size_t w = 0; w < width; ++w) result_row[column + w] = static_cast<std::int32_t>(sums[w]);
}

// result := left * right, rows outermost, then the columns, then the inner
// index; products and sums wrap modulo 2^32.
void multiply_matrices(const std::int32_t* left, const std::int32_t* right, std::int32_t* result,
                       std::int32_t dimension) {
    if (dimension <= 0) return;
    const auto n = static_cast<std::size_t>(dimension);
    for (std::size_t i = 0; i < n; ++i) {
        std::size_t column = 0;
        for (; column + strip_width <= n; column += strip_width) {
            multiply_strip(left + i * n, right, n, column, strip_width, result + i * n);
        }
        if (column < n) multiply_strip(left + i * n, right, n, column, n - column, result + i * n);
    }
}

void print_matrix(suite::Console& io, const std::int32_t* matrix, std::int32_t dimension) {
    for (std::int32_t i = 0; i < dimension; ++i) {
        for (std::int32_t j = 0; j < dimension; ++j) io.print("%i ", *matrix++);
        io.print("\n");
    }
}

void read_matrix(suite::Console& io, std::int32_t* matrix, std::int32_t dimension) {
    for (std::int32_t i = 0; i < dimension; ++i) {
        for (std::int32_t j = 0; j < dimension; ++j) *matrix++ = io.read_int();
    }
}

}  // namespace

int main() {
    suite::Console io;
    io.print("please enter the dimension: \n");
    const std::int32_t dimension = io.read_int();

    // A dimension of 0 or below needs no element at all.
    const std::uint64_t cells = dimension > 0 ? std::uint64_t(dimension) * std::uint64_t(dimension) : 0;
    std::array<HeapArray<std::int32_t>, 3> blocks;
    if (cells > 0) {
        blocks = suite::allocate_arrays<std::int32_t, 3>(cells);
        if (!blocks[0]) return -1;
    }
    auto& [a, b, product] = blocks;

    io.print("please enter the %i * %i elements of a: \n", dimension, dimension);
    read_matrix(io, a.get(), dimension);
    io.print("please enter the %i * %i elements of b: \n", dimension, dimension);
    read_matrix(io, b.get(), dimension);

    multiply_matrices(a.get(), b.get(), product.get(), dimension);
    io.print("a * b is:\n");
    print_matrix(io, product.get(), dimension);

    multiply_matrices(b.get(), a.get(), product.get(), dimension);
    io.print("b * a is:\n");
    print_matrix(io, product.get(), dimension);
    return 0;
}
