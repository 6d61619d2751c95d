// The numbers the printers print: i * 0x9E3779B1 modulo 2^32, as a signed
// 32-bit number, so that the widths from 1 to 11 characters all occur.
#pragma once

#include <cstdint>

inline std::int32_t printed_number(std::int32_t i) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(i) * 0x9E3779B1U);
}
