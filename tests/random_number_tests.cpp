// Random dialogues with the number sequence and arithmetic programs, each
// checked against a model written here: Fibonacci numbers and factorials in
// 32-bit wrap-around, the count down and up, the complex product and the
// number game with its truncating division.

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
using support::fibonacci;
using support::RandomInput;
using support::Typist;
using support::wrap32;

// An index: small, around the largest result that fits, large, or negative.
std::int32_t typed_index(RandomInput& random) {
    switch (random.between(0, 3)) {
        case 0: return random.between(-5, 12);
        case 1: return random.between(40, 60);
        case 2: return random.between(0, 200000);
        default: return random.between(INT32_MIN, -1);
    }
}

std::string fibonacci_line(std::int32_t n, std::int32_t value) {
    return cat("please enter nr: the ", n, "th fibonacci number is ", value, "\n");
}

Expected fib_table(RandomInput& random, Typist& typist) {
    const std::int32_t n = typist.number(typed_index(random));
    return {fibonacci_line(n, n < 0 ? 0 : fibonacci(n))};
}

Expected fib_loop(RandomInput& random, Typist& typist) {
    const std::int32_t n = typist.number(typed_index(random));
    return {fibonacci_line(n, n < 0 ? 0 : fibonacci(n))};
}

Expected fib_recursive(RandomInput& random, Typist& typist) {
    const std::int32_t n = typist.number(random.chance(0.8) ? random.between(-5, 25) : random.between(INT32_MIN, -1));
    return {fibonacci_line(n, n < 0 ? n : fibonacci(n))};
}

// n! modulo 2^32; 1 for n of 0 and below. From 34 on the product holds 2^32.
std::int32_t factorial(std::int32_t n) {
    std::uint32_t product = 1;
    for (std::int32_t k = 2; k <= std::min(n, 40); ++k) product *= static_cast<std::uint32_t>(k);
    return static_cast<std::int32_t>(product);
}

Expected factorials(RandomInput& random, Typist& typist) {
    // n costs n multiplications, seconds for an n near 2^31 (a golden
    // dialogue has 2147483647): here a positive n stays below 3,000,000.
    const auto typed = [&] {
        const std::int32_t any = random.chance(0.6) ? random.between(-3, 40) : random.value();
        return any > 3000000 ? random.between(41, 3000000) : any;
    };
    const std::int32_t a = typist.first_of_two(typed());
    const std::int32_t b = typist.number(typed());
    return {cat("please enter two numbers:\nfactorials are:\n", factorial(a), "\n", factorial(b), "\n")};
}

Expected count_down_up(RandomInput& random, Typist& typist) {
    // Mostly up to a few hundred, at times 1 to 3, at times any count that is refused.
    const std::int32_t kind = random.between(0, 9);
    const std::int32_t low = kind < 7 ? -5 : kind < 9 ? 1 : INT32_MIN;
    const std::int32_t high = kind < 7 ? 300 : kind < 9 ? 3 : 0;
    const std::int32_t n = typist.number(random.between(low, high));
    if (n <= 0) return {"", 255};
    std::string out;
    for (std::int32_t i = n - 1; i >= 0; --i) out += cat(i, "\n");
    out += cat(n, "\n");
    for (std::int32_t i = 0; i < n; ++i) out += cat(i, "\n");
    return {out};
}

Expected complex_product(RandomInput& random, Typist& typist) {
    const bool small = random.chance(0.4);
    std::array<std::uint32_t, 4> parts{};  // real1, imag1, real2, imag2, unsigned so that they wrap
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const std::int32_t value = small ? random.between(-9, 9) : random.value();
        parts[i] = static_cast<std::uint32_t>(i % 2 == 0 ? typist.first_of_two(value) : typist.number(value));
    }
    const auto [real1, imag1, real2, imag2] = parts;
    const auto real = static_cast<std::int32_t>(real1 * real2 - imag1 * imag2);
    const auto imag = static_cast<std::int32_t>(imag1 * real2 + real1 * imag2);
    return {cat("please enter the real and imagnary part: \nand again: \n( ", real, ", ", imag, " )\n")};
}

Expected number_game(RandomInput& random, Typist& typist) {
    const std::int32_t n = typist.number(random.chance(0.4) ? random.between(-20, 20) : random.value());
    const std::int64_t wide = n;
    std::int32_t outcome = n;
    switch (n % 5) {
        case 0: outcome = n / 5; break;
        case 1: outcome = wrap32(wide * wide); break;
        case 2: outcome = n % 3; break;
        case 3: outcome = (n - 3) / 5; break;
        case 4: outcome = wrap32(wide * (wide - 1)); break;
        default: break;  // a negative remainder: n stays as read
    }
    const char* exclamation = n % 5 < 0 ? "do'h\n" : "";
    return {cat("please insert a positive number\n", exclamation, "I have a number for you: ", outcome, "\n")};
}

RANDOM_DIALOGUES(FibTable, "fib_table", 0x3101, 1, fib_table);
RANDOM_DIALOGUES(FibLoop, "fib_loop", 0x3202, 1, fib_loop);
RANDOM_DIALOGUES(FibRecursive, "fib_recursive", 0x3303, 1, fib_recursive);
RANDOM_DIALOGUES(Factorials, "factorials", 0x3404, 2, factorials);
RANDOM_DIALOGUES(CountDownUp, "count_down_up", 0x3505, 1, count_down_up);
RANDOM_DIALOGUES(ComplexProduct, "complex_product", 0x4101, 4, complex_product);
RANDOM_DIALOGUES(NumberGame, "number_game", 0x4202, 1, number_game);

}  // namespace
