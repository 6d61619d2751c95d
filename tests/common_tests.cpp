// The shared header: wrap-around arithmetic and the sizes asked of malloc.

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "suite.hpp"

namespace {

constexpr std::int32_t int_min = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t int_max = std::numeric_limits<std::int32_t>::max();

TEST(Arithmetic, WrapsModulo2To32) {
    EXPECT_EQ(suite::wrap_add(int_max, 1), int_min);
    EXPECT_EQ(suite::wrap_sub(int_min, 1), int_max);
    EXPECT_EQ(suite::wrap_sub(int_max, -1), int_min);
    EXPECT_EQ(suite::wrap_mul(65536, 65536), 0);
    EXPECT_EQ(suite::wrap_mul(46341, 46341), -2147479015);
    EXPECT_EQ(suite::wrap_mul(int_min, -1), int_min);
}

TEST(HeapBlocks, SizesPositiveCountsIn64BitsAndOthersAsThe32BitProduct) {
    EXPECT_EQ(suite::block_bytes(1000, 4), 4000U);
    EXPECT_EQ(suite::block_bytes(0, 4), 0U);
    EXPECT_EQ(suite::block_bytes(-1, 4), 4294967292U);
    EXPECT_EQ(suite::block_bytes(-1073741824, 4), 0U);
    EXPECT_EQ(suite::block_bytes(-1, 12), 4294967284U);
    EXPECT_EQ(suite::block_bytes(357913942, 12), std::size_t{4294967304});  // not 8, the 32-bit product
}

// A block beyond the memory within reach, alone or as one of several needed
// at once, is asked for as SIZE_MAX, which malloc refuses.
TEST(HeapBlocks, AsksForSizeMaxBeyondReach) {
    const std::uint64_t reach = suite::memory_within_reach();
    EXPECT_EQ(suite::block_bytes(std::int64_t{1} << 62, 4), SIZE_MAX);
    EXPECT_EQ(suite::block_bytes(static_cast<std::int64_t>(reach / 2 / 4 + 1), 4, 2), SIZE_MAX);
    EXPECT_EQ(suite::block_bytes(static_cast<std::int64_t>(reach / 3 / 4), 4, 3), reach / 3 / 4 * 4);
}

}  // namespace
