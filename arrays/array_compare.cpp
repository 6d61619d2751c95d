// array_compare: reads two arrays of up to 16 numbers and prints four
// element-wise comparisons, a dot product and two element-wise sums, each
// routine written in its own loop style.

#include <cstdint>

#include "suite.hpp"

namespace {

constexpr std::int32_t capacity = 16;

// Each comparison returns first[i] - second[i] (wrapped) at the first
// position, in its own visiting order, where the arrays differ; 0 if none.

// By index from the front.
std::int32_t memcmp1(const std::int32_t* first, const std::int32_t* second, std::int32_t n) {
    for (std::int32_t i = 0; i < n; ++i) {
        if (first[i] != second[i]) return suite::wrap_sub(first[i], second[i]);
    }
    return 0;
}

// By index from the back.
std::int32_t memcmp2(const std::int32_t* first, const std::int32_t* second, std::int32_t n) {
    if (n <= 0) return 0;
    for (std::int32_t i = n - 1; i >= 0; --i) {
        if (first[i] != second[i]) return suite::wrap_sub(first[i], second[i]);
    }
    return 0;
}

// By two pointers walked forward while a count of remaining pairs runs down.
std::int32_t memcmp3(const std::int32_t* first, const std::int32_t* second, std::int32_t n) {
    for (; n > 0; --n, ++first, ++second) {
        if (*first != *second) return suite::wrap_sub(*first, *second);
    }
    return 0;
}

// The same forward walk, written separately: the first pointer runs to
// its end, the second keeps pace.
std::int32_t memcmp4(const std::int32_t* first, const std::int32_t* second, std::int32_t n) {
    const std::int32_t* const end = first + (n > 0 ? n : 0);
    for (; first != end; ++first, ++second) {
        if (*first != *second) return suite::wrap_sub(*first, *second);
    }
    return 0;
}

// Element-wise sum by index.
void sum1(const std::int32_t* first, const std::int32_t* second, std::int32_t* result, std::int32_t n) {
    for (std::int32_t i = 0; i < n; ++i) result[i] = suite::wrap_add(first[i], second[i]);
}

// Element-wise sum by three pointers walked forward.
void sum2(const std::int32_t* first, const std::int32_t* second, std::int32_t* result, std::int32_t n) {
    for (; n > 0; --n) *result++ = suite::wrap_add(*first++, *second++);
}

// Dot product.
std::int32_t scalar1(const std::int32_t* first, const std::int32_t* second, std::int32_t n) {
    std::int32_t sum = 0;
    for (std::int32_t i = 0; i < n; ++i) sum = suite::wrap_add(sum, suite::wrap_mul(first[i], second[i]));
    return sum;
}

}  // namespace

int main() {
    suite::Console io;
    std::int32_t a[capacity];
    std::int32_t b[capacity];
    std::int32_t result[capacity];

    io.print("please enter the number of elements: \n");
    std::int32_t count = io.read_int();
    if (count > capacity) count = capacity;

    io.print("please enter the %i elements of a: \n", count);
    for (std::int32_t i = 0; i < count; ++i) a[i] = io.read_int();
    io.print("please enter the %i elements of b: \n", count);
    for (std::int32_t i = 0; i < count; ++i) b[i] = io.read_int();

    io.print("result of memcmp1 is %i\n", memcmp1(a, b, count));
    io.print("result of memcmp2 is %i\n", memcmp2(a, b, count));
    io.print("result of memcmp3 is %i\n", memcmp3(a, b, count));
    io.print("result of memcmp4 is %i\n", memcmp4(a, b, count));
    io.print("result of scalar1 is %i\n", scalar1(a, b, count));

    sum1(a, b, result, count);
    io.print("result of sum1 is");
    for (std::int32_t i = 0; i < count; ++i) io.print(" %i", result[i]);
    io.print("\n");

    sum2(a, b, result, count);
    io.print("result of sum2 is");
    for (std::int32_t i = 0; i < count; ++i) io.print(" %i", result[i]);
    io.print("\n");
    return 0;
}
