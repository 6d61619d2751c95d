#include <stdio.h>

static void print_complex_product(int real1, int imag1, int real2, int imag2) {
    const int real = (int)((unsigned)real1 * (unsigned)real2 - (unsigned)imag1 * (unsigned)imag2);
    const int imaginary = (int)((unsigned)imag1 * (unsigned)real2 + (unsigned)real1 * (unsigned)imag2);
    printf("( %i, %i )\n", real, imaginary);
}

int main(void) {
    int real1 = 0, imag1 = 0, real2 = 0, imag2 = 0;
    printf("please enter the real and imagnary part: \n");
    scanf("%i%i", &real1, &imag1);
    printf("and again: \n");
    scanf("%i%i", &real2, &imag2);
    print_complex_product(real1, imag1, real2, imag2);
    return 0;
}
