#include <stdint.h>
#include <stdio.h>

static int memcmp1(const int* first, const int* second, int n) {
    for (int i = 0; i < n; i++) if (first[i] != second[i]) return (int)((unsigned)first[i] - (unsigned)second[i]);
    return 0;
}

static int memcmp2(const int* first, const int* second, int n) {
    for (int64_t i = (int64_t)n - 1; i >= 0; i--) if (first[i] != second[i]) return (int)((unsigned)first[i] - (unsigned)second[i]);
    return 0;
}

static int memcmp3(const int* first, const int* second, int n) {
    while (n > 0) {
        if (*first != *second) return (int)((unsigned)*first - (unsigned)*second);
        first++, second++, n--;
    }
    return 0;
}

static int memcmp4(const int* first, const int* second, int n) {
    for (; n > 0; n--, first++, second++) if (*first != *second) return (int)((unsigned)*first - (unsigned)*second);
    return 0;
}

static void sum1(const int* first, const int* second, int* result, int n) {
    for (int i = 0; i < n; i++) result[i] = (int)((unsigned)first[i] + (unsigned)second[i]);
}

static void sum2(const int* first, const int* second, int* result, int n) {
    for (; n > 0; n--) *result++ = (int)((unsigned)*first++ + (unsigned)*second++);
}

static int scalar1(const int* first, const int* second, int n) {
    int sum = 0;
    for (int i = 0; i < n; i++) sum = (int)((unsigned)sum + (unsigned)first[i] * (unsigned)second[i]);
    return sum;
}

int main(void) {
    int count = 0, a[16] = {0}, b[16] = {0}, result[16];
    printf("please enter the number of elements: \n");
    scanf("%i", &count);
    if (count > 16) count = 16;
    printf("please enter the %i elements of a: \n", count);
    for (int i = 0; i < count; i++) { int v = 0; scanf("%i", &v); a[i] = v; }
    printf("please enter the %i elements of b: \n", count);
    for (int i = 0; i < count; i++) { int v = 0; scanf("%i", &v); b[i] = v; }
    printf("result of memcmp1 is %i\n", memcmp1(a, b, count));
    printf("result of memcmp2 is %i\n", memcmp2(a, b, count));
    printf("result of memcmp3 is %i\n", memcmp3(a, b, count));
    printf("result of memcmp4 is %i\n", memcmp4(a, b, count));
    printf("result of scalar1 is %i\n", scalar1(a, b, count));
    sum1(a, b, result, count);
    printf("result of sum1 is");
    for (int i = 0; i < count; i++) printf(" %i", result[i]);
    printf("\n");
    sum2(a, b, result, count);
    printf("result of sum2 is");
    for (int i = 0; i < count; i++) printf(" %i", result[i]);
    printf("\n");
    return 0;
}
