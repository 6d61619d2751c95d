#include <stdio.h>

int main(void) {
    int n = 0;
    scanf("%i", &n);
    if (n <= 0) return -1;
    int i = n - 1;
    while (i >= 0) { printf("%i\n", i); i--; }
    printf("%i\n", n);
    int j = 0;
    while (j < n) { printf("%i\n", j); j++; }
    return 0;
}
