#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

static void multiply_matrices(const int* left, const int* right, int* result, int dimension) {
    if (dimension <= 0) return;
    for (int64_t i = 0; i < dimension; i++) {
        for (int64_t j = 0; j < dimension; j++) {
            result[i * dimension + j] = 0;
            for (int64_t k = 0; k < dimension; k++) {
                result[i * dimension + j] = (int)((unsigned)result[i * dimension + j] +
                                                  (unsigned)left[i * dimension + k] * (unsigned)right[k * dimension + j]);
            }
        }
    }
}

static void print_matrix(const int* matrix, int dimension) {
    if (dimension <= 0) return;
    for (int64_t i = 0; i < dimension; i++) {
        for (int64_t j = 0; j < dimension; j++) printf("%i ", matrix[i * dimension + j]);
        putchar('\n');
    }
}

int main(void) {
    int dimension = 0;
    puts("please enter the dimension: ");
    scanf("%i", &dimension);
    const size_t size = (size_t)dimension * (size_t)dimension * sizeof(int);
    int *a = malloc(size), *b = malloc(size), *product = malloc(size);
    if (dimension > 0 && (a == NULL || b == NULL || product == NULL)) return -1;
    printf("please enter the %i * %i elements of a: \n", dimension, dimension);
    for (int64_t i = 0; i < dimension; i++) {
        for (int64_t j = 0; j < dimension; j++) { int v = 0; scanf("%i", &v); a[i * dimension + j] = v; }
    }
    printf("please enter the %i * %i elements of b: \n", dimension, dimension);
    for (int64_t i = 0; i < dimension; i++) {
        for (int64_t j = 0; j < dimension; j++) { int v = 0; scanf("%i", &v); b[i * dimension + j] = v; }
    }
    multiply_matrices(a, b, product, dimension);
    puts("a * b is:");
    print_matrix(product, dimension);
    multiply_matrices(b, a, product, dimension);
    puts("b * a is:");
    print_matrix(product, dimension);
    free(a);
    free(b);
    free(product);
    return 0;
}
