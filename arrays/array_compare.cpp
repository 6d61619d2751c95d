// array_compare: reads two arrays of up to 16 numbers and prints four
// element-wise comparisons, a dot product and two element-wise sums, each
// routine written in its own loop style.

#include <cstdint>
#include <cstdio>

#include "suite.hpp"

namespace {

// Each comparison returns first[i] - second[i] (wrapped) at the first
// position, in its own visiting order, where the arrays differ; 0 if none.

// By index from the front.
std::int32_t memcmp1(const std::int32_t* first, const std::int32_t* second, std::int32_t n) {
    for (std::int32_t i = 0; i < n; i++) {
        if (first[i] != second[i]) return suite::wrap_sub(first[i], second[i]);
    }
    return 0;
}

// By index from the back.  The index counts in 64 bits: n - 1 passes the
// 32-bit range for an n of -2147483648.
std::int32_t memcmp2(const std::int32_t* first, const std::int32_t* second, std::int32_t n) {
    for (std::int64_t i = std::int64_t{n} - 1; i >= 0; i--) {
        if (first[i] != second[i]) return suite::wrap_sub(first[i], second[i]);
    }
    return 0;
}

// By two pointers walked forward while the count of pairs left runs down.
std::int32_t memcmp3(const std::int32_t* first, const std::int32_t* second, std::int32_t n) {
    while (n > 0) {
        if (*first != *second) return suite::wrap_sub(*first, *second);
        first++;
        second++;
        n--;
    }
    return 0;
}

// The same forward walk, written separately.
std::int32_t memcmp4(const std::int32_t* first, const std::int32_t* second, std::int32_t n) {
    for (; n > 0; n--, first++, second++) {
        if (*first != *second) return suite::wrap_sub(*first, *second);
    }
    return 0;
}

// Element-wise sum by index.
void sum1(const std::int32_t* first, const std::int32_t* second, std::int32_t* result, std::int32_t n) {
    for (std::int32_t i = 0; i < n; i++) result[i] = suite::wrap_add(first[i], second[i]);
}

// Element-wise sum by three pointers walked forward.
void sum2(const std::int32_t* first, const std::int32_t* second, std::int32_t* result, std::int32_t n) {
    for (; n > 0; n--) *result++ = suite::wrap_add(*first++, *second++);
}

// Dot product.
std::int32_t scalar1(const std::int32_t* first, const std::int32_t* second, std::int32_t n) {
    std::int32_t sum = 0;
    for (std::int32_t i = 0; i < n; i++) sum = suite::wrap_add(sum, suite::wrap_mul(first[i], second[i]));
    return sum;
}

}  // namespace

int main() {
    // Zero before the reading: a number that cannot be read leaves 0.
    std::int32_t count = 0;
    std::int32_t a[16] = {};
    std::int32_t b[16] = {};
    std::int32_t result[16];

    std::printf("please enter the number of elements: \n");
    std::scanf("%i", &count);
    if (count > 16) count = 16;

    std::printf("please enter the %i elements of a: \n", count);
    for (std::int32_t i = 0; i < count; i++) std::scanf("%i", &a[i]);
    std::printf("please enter the %i elements of b: \n", count);
    for (std::int32_t i = 0; i < count; i++) std::scanf("%i", &b[i]);

    std::printf("result of memcmp1 is %i\n", memcmp1(a, b, count));
    std::printf("result of memcmp2 is %i\n", memcmp2(a, b, count));
    std::printf("result of memcmp3 is %i\n", memcmp3(a, b, count));
    std::printf("result of memcmp4 is %i\n", memcmp4(a, b, count));
    std::printf("result of scalar1 is %i\n", scalar1(a, b, count));

    sum1(a, b, result, count);
    std::printf("result of sum1 is");
    for (std::int32_t i = 0; i < count; i++) std::printf(" %i", result[i]);
    std::printf("\n");

    sum2(a, b, result, count);
    std::printf("result of sum2 is");
    for (std::int32_t i = 0; i < count; i++) std::printf(" %i", result[i]);
    std::printf("\n");
    return 0;
}
