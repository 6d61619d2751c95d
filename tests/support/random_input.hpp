// Random numbers for the randomised tests, and the many ways a user may
// type them: decimal, hexadecimal, octal, signed, spread over white space.
// Also the inputs that are not random: quick_sort's worst cases.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace support {

// Reduces a wide integer modulo 2^32 to a signed 32-bit value.
constexpr std::int32_t wrap32(std::int64_t value) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(value)));
}

class RandomInput {
public:
    explicit RandomInput(std::uint64_t seed) : engine_(seed) {}

    // A value from a mix of small numbers, values near the limits and the
    // whole 32-bit range.
    std::int32_t value();
    std::int32_t between(std::int32_t low, std::int32_t high);
    bool chance(double probability);

    // `value` typed in one of the forms "%i" accepts.
    std::string spell(std::int32_t value);
    // White space between two numbers: at least one character.
    std::string separator();
    // A number typed and followed by white space.
    std::string typed(std::int32_t value) { return spell(value) + separator(); }

    std::mt19937_64& engine() { return engine_; }

private:
    std::mt19937_64 engine_;
};

// Values 1 to `count` arranged so that the middle element of every range is
// the largest of it: each partition of quick_sort splits off a single
// element at the right, and the sort would take time in the square of the
// count.
std::vector<std::int32_t> middle_pivot_killer(std::int32_t count);

// The same with the middle element of every range its smallest: each
// partition splits off a single element at the left, and the rest, the
// right part, is sorted by a nested call: without a bound the calls would
// nest once per element.
std::vector<std::int32_t> smallest_in_the_middle(std::int32_t count);

}  // namespace support
