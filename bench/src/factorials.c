#include <stdio.h>

static int factorial(int n) {
    int product = 1;
    for (int factor = n; factor > 0; factor--) product = (int)((unsigned)product * (unsigned)factor);
    return product;
}

int main(void) {
    int a = 0, b = 0;
    printf("please enter two numbers:\n");
    scanf("%i%i", &a, &b);
    a = factorial(a);
    b = factorial(b);
    printf("factorials are:\n%i\n%i\n", a, b);
    return 0;
}
