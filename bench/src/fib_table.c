#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

static void fill_fibonacci_table(int* table, int n) {
    table[0] = 0;
    table[1] = 1;
    for (int64_t i = 2; i <= n; i++) table[i] = (int)((unsigned)table[i - 1] + (unsigned)table[i - 2]);
}

int main(void) {
    int n = 0;
    printf("please enter nr: ");
    scanf("%i", &n);
    const int count = n >= 2 ? n : 2;
    int* table = malloc(((size_t)count + 1) * 4);
    if (table == NULL) {
        printf("error by memory allocation\n");
        return -1;
    }
    fill_fibonacci_table(table, n);
    printf("the %ith fibonacci number is %i\n", n, n >= 0 ? table[n] : 0);
    free(table);
    return 0;
}
