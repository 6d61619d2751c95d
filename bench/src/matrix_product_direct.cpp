// matrix_product_direct: matrix_product written straight against the C
// library, without the suite's header: the prompts with puts and printf,
// every element read with scanf("%lli") into a long long that keeps its
// low 32 bits, the same triple loop with its products and sums wrapped in
// unsigned arithmetic, each row printed with printf("%i ") and
// putchar('\n').  Built like matrix_product_b2, it shows what the header's
// few lines around each call cost.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

using Index = std::int64_t;

std::int32_t read_number() {
    long long wide = 0;
    std::scanf("%lli", &wide);
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<unsigned long long>(wide)));
}

void multiply_matrices(const std::int32_t* left, const std::int32_t* right, std::int32_t* result,
                       std::int32_t dimension) {
    if (dimension <= 0) return;
    for (Index i = 0; i < dimension; i++) {
        for (Index j = 0; j < dimension; j++) {
            result[i * dimension + j] = 0;
            for (Index k = 0; k < dimension; k++) {
                result[i * dimension + j] = static_cast<std::int32_t>(
                    static_cast<std::uint32_t>(result[i * dimension + j]) +
                    static_cast<std::uint32_t>(left[i * dimension + k]) *
                        static_cast<std::uint32_t>(right[k * dimension + j]));
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
    std::puts("please enter the dimension: ");
    const std::int32_t dimension = read_number();

    const auto cells = static_cast<std::size_t>(dimension > 0 ? std::int64_t{dimension} * dimension : 0);
    auto* a = static_cast<std::int32_t*>(std::malloc(cells * sizeof(std::int32_t)));
    auto* b = static_cast<std::int32_t*>(std::malloc(cells * sizeof(std::int32_t)));
    auto* product = static_cast<std::int32_t*>(std::malloc(cells * sizeof(std::int32_t)));
    if (dimension > 0 && (a == nullptr || b == nullptr || product == nullptr)) return -1;

    std::printf("please enter the %i * %i elements of a: \n", dimension, dimension);
    for (Index i = 0; i < dimension; i++) {
        for (Index j = 0; j < dimension; j++) a[i * dimension + j] = read_number();
    }
    std::printf("please enter the %i * %i elements of b: \n", dimension, dimension);
    for (Index i = 0; i < dimension; i++) {
        for (Index j = 0; j < dimension; j++) b[i * dimension + j] = read_number();
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
