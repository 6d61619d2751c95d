// The shared console module: every rule of number reading, and output.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "random_input.hpp"
#include "fast_console.hpp"
#include "suite.hpp"

namespace {

constexpr std::int32_t int_min = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t int_max = std::numeric_limits<std::int32_t>::max();

// A file in memory that holds `text`, positioned at its start.
int memory_file(const std::string& text) {
    const int fd = ::memfd_create("console", 0);
    EXPECT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    ::lseek(fd, 0, SEEK_SET);
    return fd;
}

std::string file_contents(int fd) {
    std::string text(static_cast<std::size_t>(::lseek(fd, 0, SEEK_END)), '\0');
    EXPECT_EQ(::pread(fd, text.data(), text.size(), 0), static_cast<ssize_t>(text.size()));
    return text;
}

// The first `count` numbers that "%i" reading takes from `input`.
std::vector<std::int32_t> read_numbers(const std::string& input, std::size_t count) {
    const int in = memory_file(input);
    const int out = memory_file("");
    std::vector<std::int32_t> numbers;
    {
        suite::Console io(in, out);
        for (std::size_t i = 0; i < count; ++i) numbers.push_back(io.read_int());
    }
    ::close(in);
    ::close(out);
    return numbers;
}

using Numbers = std::vector<std::int32_t>;

TEST(Reading, SkipsEveryKindOfWhiteSpaceAndTakesASign) {
    EXPECT_EQ(read_numbers(" \t\n\v\f\r42", 1), Numbers{42});
    EXPECT_EQ(read_numbers("+7 -7 -0 +0", 4), (Numbers{7, -7, 0, 0}));
    EXPECT_EQ(read_numbers("1\n2\r\n3\t4", 4), (Numbers{1, 2, 3, 4}));
}

TEST(Reading, TakesTheBaseFromThePrefix) {
    EXPECT_EQ(read_numbers("010 0x1f 0X1F 0xaBc -0x10 -010 0 00", 8), (Numbers{8, 31, 31, 0xabc, -16, -8, 0, 0}));
}

TEST(Reading, TakesTheLongestRunOfDigitsValidForTheBase) {
    EXPECT_EQ(read_numbers("08", 2), (Numbers{0, 8}));
    EXPECT_EQ(read_numbers("0179", 2), (Numbers{15, 9}));
    EXPECT_EQ(read_numbers("12-3", 2), (Numbers{12, -3}));
    EXPECT_EQ(read_numbers("0x1fg", 1), Numbers{31});
}

TEST(Reading, HexPrefixWithoutDigitsReadsAsZeroAndIsConsumed) {
    EXPECT_EQ(read_numbers("0x 5", 2), (Numbers{0, 5}));
    EXPECT_EQ(read_numbers("-0X\n9", 2), (Numbers{0, 9}));
}

// Within the 64-bit range the low 32 bits are those of the number; beyond
// it, those of LLONG_MAX (-1) or LLONG_MIN (0).  Every digit of the run is
// consumed either way: the number after it reads as itself.
TEST(Reading, KeepsTheLow32BitsOfALongLongThatSaturatesBeyondItsRange) {
    EXPECT_EQ(read_numbers("2147483647 2147483648 4294967295 4294967296 4294967297", 5),
              (Numbers{int_max, int_min, -1, 0, 1}));
    EXPECT_EQ(read_numbers("-2147483648 -2147483649 0xFFFFFFFF 0x100000005 037777777777", 5),
              (Numbers{int_min, int_max, -1, 5, -1}));
    EXPECT_EQ(read_numbers("12345678901234567 123456789012345678 1234567890987654321 -1234567890987654321", 4),
              (Numbers{1567312775, -1506741426, -1318314831, 1318314831}));
    EXPECT_EQ(read_numbers("9223372036854775806 9223372036854775807 9223372036854775808 +18446744073709551617 7", 5),
              (Numbers{-2, -1, -1, -1, 7}));
    EXPECT_EQ(read_numbers("-9223372036854775807 -9223372036854775808 -9223372036854775809 -18446744073709551617 7", 5),
              (Numbers{1, 0, 0, 0, 7}));
    EXPECT_EQ(read_numbers("100000000000000000000 99999999999999999999 -99999999999999999999 7", 4),
              (Numbers{-1, -1, 0, 7}));
    EXPECT_EQ(read_numbers("0x7FFFFFFFFFFFFFFE 0x8000000000000000 0xFFFFFFFFFFFFFFFF 0x10000000000000001 7", 5),
              (Numbers{-2, -1, -1, -1, 7}));
    EXPECT_EQ(read_numbers("-0x7fffffffffffffff -0x8000000000000000 -0x8000000000000001 -0X10000000000000001", 4),
              (Numbers{1, 0, 0, 0}));
    EXPECT_EQ(read_numbers("0777777777777777777776 01000000000000000000000 02000000000000000000001 7", 4),
              (Numbers{-2, -1, -1, 7}));
    EXPECT_EQ(read_numbers("-0777777777777777777777 -01000000000000000000000 -01000000000000000000001", 3),
              (Numbers{1, 0, 0}));
    // Leading zeros never saturate; a long run of digits after them does.
    EXPECT_EQ(read_numbers(std::string(100000, '0') + "17 0x" + std::string(70000, '0') + "FFFFFFFF 7", 3),
              (Numbers{15, -1, 7}));
    EXPECT_EQ(read_numbers(std::string(70000, '9') + " -" + std::string(70000, '9') + " -0x1" + std::string(16, '0'), 3),
              (Numbers{-1, 0, 0}));
}

TEST(Reading, AFailedNumberReadsAsZeroAndExhaustsTheInput) {
    EXPECT_EQ(read_numbers("", 2), (Numbers{0, 0}));
    EXPECT_EQ(read_numbers("   \n ", 1), Numbers{0});
    EXPECT_EQ(read_numbers("5", 2), (Numbers{5, 0}));
    EXPECT_EQ(read_numbers("abc 5", 2), (Numbers{0, 0}));
    EXPECT_EQ(read_numbers("3 x 5 6", 4), (Numbers{3, 0, 0, 0}));
    EXPECT_EQ(read_numbers("- 5", 2), (Numbers{0, 0}));
    EXPECT_EQ(read_numbers("+-5 6", 2), (Numbers{0, 0}));
    EXPECT_EQ(read_numbers("0xg 7", 3), (Numbers{0, 0, 0}));
    EXPECT_EQ(read_numbers("4 -", 2), (Numbers{4, 0}));
}

TEST(Reading, ReportsExhaustionOnlyAfterAFailure) {
    const int in = memory_file("1 2");
    const int out = memory_file("");
    suite::Console io(in, out);
    EXPECT_EQ(io.read_int(), 1);
    EXPECT_EQ(io.read_int(), 2);
    EXPECT_FALSE(io.exhausted());
    EXPECT_EQ(io.read_int(), 0);
    EXPECT_TRUE(io.exhausted());
}

TEST(Reading, RandomSpellingsOverManyBlocksReadBack) {
    support::RandomInput random(20261208);
    std::vector<std::int32_t> expected;
    std::string input;
    for (int i = 0; i < 60000; ++i) {
        expected.push_back(random.value());
        input += random.typed(expected.back());
    }
    ASSERT_GT(input.size(), std::size_t{4} << 16);  // numbers straddle several refills
    EXPECT_EQ(read_numbers(input, expected.size()), expected);
}

// Decimal digits are taken eight at a time; runs of every length, signed
// or not, at every place around the end of the first 64 KiB block, up to
// runs well inside it.  A first number makes the run the second: the
// reading goes on in the block.  Of the first digits, nineteen are within
// the 64-bit range, and of the second eighteen; what the C library's
// strtoll makes of the run tells the value.
TEST(Reading, DecimalRunsOfEveryLengthAroundTheEndOfABlock) {
    for (const std::string digits : {"1234567890987654321234567", "9876543210123456789876543"}) {
        for (std::size_t length = 1; length <= digits.size(); ++length) {
            for (std::size_t before = 0; before <= 27; ++before) {
                const std::string run = (before % 3 == 1 ? "-" : "") + digits.substr(0, length);
                const std::string input = "7" + std::string(65535 - before, before % 2 ? '\n' : ' ') + run + " 5";
                const std::int32_t expected = suite::low_32_bits(std::strtoll(run.c_str(), nullptr, 10));
                EXPECT_EQ(read_numbers(input, 3), (Numbers{7, expected, 5})) << run << " at " << 65536 - before;
            }
        }
    }
}

TEST(Reading, NumbersArrivingInTinyPiecesThroughAPipe) {
    const std::string input = "  -123 0x7fffffff\n017 4294967295 +0X 8 9";
    int pipe_fds[2];
    ASSERT_EQ(::pipe(pipe_fds), 0);
    std::thread writer([&] {
        for (const char c : input) {
            ASSERT_EQ(::write(pipe_fds[1], &c, 1), 1);
            std::this_thread::yield();
        }
        ::close(pipe_fds[1]);
    });
    const int out = memory_file("");
    std::vector<std::int32_t> numbers;
    {
        suite::Console io(pipe_fds[0], out);
        for (int i = 0; i < 8; ++i) numbers.push_back(io.read_int());
    }
    writer.join();
    ::close(pipe_fds[0]);
    EXPECT_EQ(numbers, (Numbers{-123, int_max, 15, -1, 0, 8, 9, 0}));
}

// Output ---------------------------------------------------------------------

std::string printed(void (*write)(suite::Console&)) {
    const int in = memory_file("");
    const int out = memory_file("");
    {
        suite::Console io(in, out);
        write(io);
    }
    std::string text = file_contents(out);
    ::close(in);
    ::close(out);
    return text;
}

TEST(Writing, PrintsNumbersLikePrintf) {
    EXPECT_EQ(printed([](suite::Console& io) { io.print("%i|%i|%i|%i\n", int_min, int_max, 0, -1); }),
              "-2147483648|2147483647|0|-1\n");
    EXPECT_EQ(printed([](suite::Console& io) { io.print("( %i, %i )\n", -5, 10); }), "( -5, 10 )\n");
    EXPECT_EQ(printed([](suite::Console& io) { io.print("%i%i", 12, 34); }), "1234");
    EXPECT_EQ(printed([](suite::Console& io) { io.print("no numbers at all: \n"); }), "no numbers at all: \n");
}

// Numbers of every length and sign, around each power of ten, printed over
// and over so that they meet the end of the buffer at every place.
std::vector<std::int32_t> numbers_of_every_length() {
    std::vector<std::int32_t> numbers = {int_min, int_max, 0};
    for (std::int64_t power = 1; power <= 1000000000; power *= 10) {
        for (const std::int64_t near : {power - 1, power, power + 1, 2 * power + 3}) {
            numbers.push_back(static_cast<std::int32_t>(near));
            numbers.push_back(static_cast<std::int32_t>(-near));
        }
    }
    for (std::int32_t i = -100000; i < 100000; i += 7) numbers.push_back(i * 4099);
    return numbers;
}

TEST(Writing, KeepsEveryByteAcrossManyBufferFlushes) {
    std::string expected;
    for (const std::int32_t x : numbers_of_every_length()) expected += std::to_string(x) + " ";
    for (const std::int32_t x : numbers_of_every_length()) expected += "[" + std::to_string(x) + "]\n";
    const std::string text = printed([](suite::Console& io) {
        for (const std::int32_t x : numbers_of_every_length()) io.print("%i ", x);
        for (const std::int32_t x : numbers_of_every_length()) io.print("[%i]\n", x);
    });
    EXPECT_EQ(text, expected);
}

TEST(Writing, AFailedWriteEndsTheProcessWith255AndOneLine) {
    EXPECT_EXIT(
        {
            const int full = ::open("/dev/full", O_WRONLY);
            suite::Console io(STDIN_FILENO, full);
            io.print("%i\n", 1);
            io.flush();
        },
        ::testing::ExitedWithCode(255), "^error: writing to standard output failed\n$");
}

// Arithmetic and heap blocks ------------------------------------------------

TEST(Arithmetic, WrapsModulo2To32) {
    EXPECT_EQ(suite::wrap_add(int_max, 1), int_min);
    EXPECT_EQ(suite::wrap_sub(int_min, 1), int_max);
    EXPECT_EQ(suite::wrap_sub(int_max, -1), int_min);
    EXPECT_EQ(suite::wrap_mul(65536, 65536), 0);
    EXPECT_EQ(suite::wrap_mul(46341, 46341), -2147479015);
    EXPECT_EQ(suite::wrap_mul(int_min, -1), int_min);
}

TEST(HeapBlocks, SizesPositiveCountsIn64BitsAndOthersAsThe32BitProduct) {
    EXPECT_EQ(suite::block_bytes(1073741824, 4), std::uint64_t{1} << 32);
    EXPECT_EQ(suite::block_bytes(std::int64_t{1} << 62, 4), UINT64_MAX);
    EXPECT_EQ(suite::block_bytes(0, 4), 0U);
    EXPECT_EQ(suite::block_bytes(-1, 4), 4294967292U);
    EXPECT_EQ(suite::block_bytes(-1073741824, 4), 0U);
    EXPECT_EQ(suite::block_bytes(-1, 12), 4294967284U);
}

TEST(HeapBlocks, RefusesBlocksBeyondReach) {
    EXPECT_EQ(suite::malloc(UINT64_MAX), nullptr);
    EXPECT_EQ(suite::malloc(suite::memory_within_reach() / 2 + 1, 2), nullptr);
    void* const block = suite::malloc(4000, 3);
    ASSERT_NE(block, nullptr);
    static_cast<char*>(block)[3999] = 1;
    std::free(block);
}

}  // namespace
