// The seeded generator of the benchmark inputs, shared by make_input and
// the baselines that make the same numbers in memory.  splitmix64, so the
// numbers do not depend on the standard library's distributions and are
// the same on every machine.
#pragma once

#include <cstdint>

class SplitMix64 {
public:
    explicit SplitMix64(std::uint64_t seed) : state_(seed) {}

    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }

    std::int32_t any_int() { return static_cast<std::int32_t>(static_cast<std::uint32_t>(next() >> 32)); }

    // Uniform enough for a benchmark: the bias of the modulo is below 2^-32.
    std::int32_t between(std::int32_t low, std::int32_t high) {
        const auto span = static_cast<std::uint64_t>(std::int64_t{high} - low + 1);
        return static_cast<std::int32_t>(low + static_cast<std::int64_t>(next() % span));
    }

private:
    std::uint64_t state_;
};
