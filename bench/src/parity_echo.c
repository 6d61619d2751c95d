#include <stdio.h>

int main(void) {
    int count = 0, a[16] = {0}, b[16] = {0}, xor_sum = 0;
    const int* chosen;
    printf("please enter the number of elements: \n");
    scanf("%i", &count);
    if (count > 16) count = 16;
    printf("please enter the %i elements of a: \n", count);
    for (int i = 0; i < count; i++) { int v = 0; scanf("%i", &v); a[i] = v; xor_sum ^= a[i]; }
    printf("please enter the %i elements of b: \n", count);
    for (int i = 0; i < count; i++) { int v = 0; scanf("%i", &v); b[i] = v; xor_sum ^= b[i]; }
    if (xor_sum & 1) {
        printf("I feel like printing a:\n");
        chosen = a;
    } else {
        printf("I feel like printing b:\n");
        chosen = b;
    }
    for (int i = 0; i < count; i++) printf(" %i", chosen[i]);
    printf("\n");
    return 0;
}
