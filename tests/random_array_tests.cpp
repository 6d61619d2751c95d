// Random dialogues with the array programs, each checked against a model
// written here: the count clamp to 16, the four comparisons, the dot product
// and the sums in 32-bit wrap-around, the parity choice, and both matrix
// products.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "model_check.hpp"
#include "process.hpp"
#include "random_input.hpp"

namespace {

using support::cat;
using support::Expected;
using support::RandomInput;
using support::Typist;
using support::wrap32;

// A count around the clamp, at times any value at all.
std::int32_t typed_count(RandomInput& random) { return random.chance(0.9) ? random.between(-3, 20) : random.value(); }

// What the user types for a and then for b, `length` numbers each; b is
// often a with a few changes, so equal arrays and single differences occur.
std::vector<std::int32_t> two_arrays(RandomInput& random, std::int32_t length) {
    const bool small = random.chance(0.3);
    const auto element = [&] { return small ? random.between(-2, 2) : random.value(); };
    std::vector<std::int32_t> a, b;
    for (std::int32_t i = 0; i < length; ++i) a.push_back(element());
    const bool copy = random.chance(0.6);
    for (const std::int32_t x : a) b.push_back(copy && !random.chance(0.15) ? x : element());
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The count as the program keeps it, and the two arrays it reads.
struct Arrays {
    std::int32_t count;
    std::vector<std::int32_t> a, b;
};

Arrays read_arrays(RandomInput& random, Typist& typist) {
    const std::int32_t typed = typed_count(random);
    const std::int32_t count = std::min(typist.number(typed), 16);
    const std::size_t n = count > 0 ? static_cast<std::size_t>(count) : 0;
    const std::vector<std::int32_t> got = typist.numbers(two_arrays(random, std::clamp(typed, 0, 20)), 2 * n);
    const auto middle = got.begin() + static_cast<std::ptrdiff_t>(n);
    return {count, {got.begin(), middle}, {middle, got.end()}};
}

std::string array_prompts(std::int32_t count) {
    return cat("please enter the number of elements: \n", "please enter the ", count, " elements of a: \n",
               "please enter the ", count, " elements of b: \n");
}

Expected array_compare(RandomInput& random, Typist& typist) {
    const Arrays read = read_arrays(random, typist);
    const auto& a = read.a;
    const auto& b = read.b;
    const auto difference = [&](std::size_t i) { return wrap32(std::int64_t{a[i]} - b[i]); };
    // The lowest and the highest differing position; a difference of two unequal values is never 0.
    std::int32_t front = 0, back = 0, dot = 0;
    std::string sums;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (front == 0 && a[i] != b[i]) front = difference(i);
        if (a[i] != b[i]) back = difference(i);
        dot = wrap32(dot + std::int64_t{a[i]} * b[i]);
        sums += cat(" ", wrap32(std::int64_t{a[i]} + b[i]));
    }
    return {cat(array_prompts(read.count), "result of memcmp1 is ", front, "\nresult of memcmp2 is ", back,
                "\nresult of memcmp3 is ", front, "\nresult of memcmp4 is ", front, "\nresult of scalar1 is ", dot,
                "\nresult of sum1 is", sums, "\nresult of sum2 is", sums, "\n")};
}

Expected parity_echo(RandomInput& random, Typist& typist) {
    const auto [count, a, b] = read_arrays(random, typist);
    std::int32_t xor_sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i) xor_sum ^= a[i] ^ b[i];
    const bool odd = (xor_sum & 1) != 0;
    std::string echo;
    for (const std::int32_t x : odd ? a : b) echo += cat(" ", x);
    return {cat(array_prompts(count), "I feel like printing ", odd ? "a" : "b", ":\n", echo, "\n")};
}

using Matrix = std::vector<std::int32_t>;

std::string product(const Matrix& left, const Matrix& right, std::size_t n) {
    std::string rows;
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = 0; j < n; ++j) {
            std::int32_t sum = 0;
            for (std::size_t k = 0; k < n; ++k) sum = wrap32(sum + std::int64_t{left[i * n + k]} * right[k * n + j]);
            rows += cat(sum, " ");
        }
        rows += "\n";
    }
    return rows;
}

Expected matrix_product(RandomInput& random, Typist& typist) {
    const std::int32_t typed = random.chance(0.9) ? random.between(-3, 7) : random.between(INT32_MIN, -1);
    const std::int32_t dimension = typist.number(typed);
    const std::size_t n = dimension > 0 ? static_cast<std::size_t>(dimension) : 0;
    const std::size_t side = typed > 0 ? static_cast<std::size_t>(typed) : 0;
    const bool small = random.chance(0.5);
    std::vector<std::int32_t> wanted;
    for (std::size_t i = 0; i < 2 * side * side; ++i) wanted.push_back(small ? random.between(-3, 3) : random.value());
    const std::vector<std::int32_t> got = typist.numbers(wanted, 2 * n * n);
    const auto middle = got.begin() + static_cast<std::ptrdiff_t>(n * n);
    const Matrix a(got.begin(), middle), b(middle, got.end());
    return {cat("please enter the dimension: \n", "please enter the ", dimension, " * ", dimension,
                " elements of a: \n", "please enter the ", dimension, " * ", dimension, " elements of b: \n",
                "a * b is:\n", product(a, b, n), "b * a is:\n", product(b, a, n))};
}

RANDOM_DIALOGUES(ArrayCompare, "array_compare", 0x1101, 33, array_compare);
RANDOM_DIALOGUES(ParityEcho, "parity_echo", 0x1202, 33, parity_echo);
RANDOM_DIALOGUES(MatrixProduct, "matrix_product", 0x1303, 30, matrix_product);

}  // namespace
