// The seeded generator of the inputs (splitmix64), shared by make_input and
// the in-memory sorts: the same numbers on every machine.
#pragma once
#include <cstdint>

struct SplitMix64 {
    std::uint64_t state;
    std::uint64_t next() {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    std::int32_t any_int() { return static_cast<std::int32_t>(static_cast<std::uint32_t>(next() >> 32)); }
};
