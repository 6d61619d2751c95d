#include "random_input.hpp"

#include <array>
#include <cstdio>
#include <limits>
#include <utility>

namespace support {

std::int32_t RandomInput::between(std::int32_t low, std::int32_t high) {
    return std::uniform_int_distribution<std::int32_t>(low, high)(engine_);
}

bool RandomInput::chance(double probability) { return std::bernoulli_distribution(probability)(engine_); }

std::int32_t RandomInput::value() {
    constexpr std::int32_t min = std::numeric_limits<std::int32_t>::min();
    constexpr std::int32_t max = std::numeric_limits<std::int32_t>::max();
    switch (between(0, 5)) {
        case 0: return between(-10, 10);
        case 1: return between(-1000, 1000);
        case 2: return between(0, 3) == 0 ? min : (between(0, 1) == 0 ? max : between(min, min + 3));
        case 3: return between(max - 3, max);
        case 4: return between(-70000, 70000);
        default: return between(min, max);
    }
}

std::string RandomInput::spell(std::int32_t value) {
    const bool negative = value < 0;
    const std::uint32_t magnitude =
        negative ? 0U - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
    std::string sign = negative ? "-" : (chance(0.2) ? "+" : "");
    char digits[64];
    switch (between(0, 5)) {
        case 0: std::snprintf(digits, sizeof digits, "0x%x", magnitude); break;
        case 1: std::snprintf(digits, sizeof digits, "0X%X", magnitude); break;
        case 2: std::snprintf(digits, sizeof digits, "0%o", magnitude); break;
        default: std::snprintf(digits, sizeof digits, "%u", magnitude); break;
    }
    return sign + digits;
}

std::string RandomInput::separator() {
    static constexpr std::array<const char*, 8> spaces = {" ", " ", "\n", "\t", "  ", " \r\n", "\n\n\v", "\f "};
    return spaces[static_cast<std::size_t>(between(0, static_cast<std::int32_t>(spaces.size()) - 1))];
}

std::vector<std::int32_t> middle_pivot_killer(std::int32_t count) {
    std::vector<std::int32_t> position(static_cast<std::size_t>(count));
    std::vector<std::int32_t> value(position.size());
    for (std::size_t i = 0; i < position.size(); ++i) position[i] = static_cast<std::int32_t>(i);
    std::int32_t next = count;
    for (std::size_t hi = position.size() - 1; hi > 0; --hi) {
        value[static_cast<std::size_t>(position[hi / 2])] = next--;
        std::swap(position[hi / 2], position[hi]);
    }
    value[static_cast<std::size_t>(position[0])] = next;
    return value;
}

// Each partition of the range from `lo` to the end exchanges its first
// element with the middle one, the smallest, and leaves the rest to the
// right part: the middle of that range is given the next smallest value.
std::vector<std::int32_t> smallest_in_the_middle(std::int32_t count) {
    std::vector<std::int32_t> position(static_cast<std::size_t>(count));
    std::vector<std::int32_t> value(position.size());
    for (std::size_t i = 0; i < position.size(); ++i) position[i] = static_cast<std::int32_t>(i);
    std::int32_t next = 1;
    for (std::size_t lo = 0; lo + 1 < position.size(); ++lo) {
        const std::size_t middle = (lo + position.size() - 1) / 2;
        value[static_cast<std::size_t>(position[middle])] = next++;
        std::swap(position[lo], position[middle]);
    }
    value[static_cast<std::size_t>(position.back())] = next;
    return value;
}

}  // namespace support
