#include <stdio.h>

int main(void) {
    int n = 0;

    puts("please insert a positive number");
    scanf("%i", &n);

    switch (n % 5) {
        case 0: n = n / 5; break;
        case 1: n = (int)((unsigned)n * (unsigned)n); break;
        case 2: n = n % 3; break;
        case 3: n = (n - 3) / 5; break;
        case 4: n = (int)((unsigned)n * (unsigned)(n - 1)); break;
        default: puts("do'h"); break;
    }
    printf("I have a number for you: %i\n", n);
    return 0;
}
