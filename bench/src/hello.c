/* hello: the start-up baseline, a plain C program that prints one line. */
#include <stdio.h>

int main(void) {
    puts("hello");
    return 0;
}
