#include <stdio.h>

static int fibonacci_iterative(int n) {
    int previous = 0, current = 1, step = 0;
    while (step < n) {
        const int next = (int)((unsigned)current + (unsigned)previous);
        previous = current, current = next, step++;
    }
    return previous;
}

int main(void) {
    int n = 0;
    printf("please enter nr: ");
    scanf("%i", &n);
    printf("the %ith fibonacci number is %i\n", n, fibonacci_iterative(n));
    return 0;
}
