// Runs under tight resource limits: blocks that cannot be had, and inputs
// that would nest calls deeper than a small stack holds.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "process.hpp"

namespace {

constexpr std::uint64_t mebibyte = 1024 * 1024;

std::string build_name(const testing::TestParamInfo<std::string>& info) { return info.param; }

std::vector<std::string> builds_of(std::initializer_list<const char*> programs) {
    std::vector<std::string> builds;
    for (const char* program : programs) {
        for (std::string& build : support::builds_of(program)) builds.push_back(std::move(build));
    }
    return builds;
}

// A block the program needs but cannot have: each program takes its own
// refusal path, and reads and prints nothing more.
class BlockRefused : public testing::TestWithParam<std::string> {};

TEST_P(BlockRefused, TakesTheRefusalPath) {
    if (support::sanitized_build()) GTEST_SKIP() << "the sanitizer runtime needs more address space than the limit";
    const std::string& executable = GetParam();
    const std::string program = support::program_of(executable);
    // Each input asks for about 400 MB; the limit allows 64 MiB in all.
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"quick_sort", ""},
        {"heap_sort", ""},
        {"record_sort", "please insert the number of data items:\n"},
        {"matrix_product", "please enter the dimension: \n"},
        {"fib_table", "please enter nr: error by memory allocation\n"},
    };
    support::RunOptions options;
    options.address_space_limit = 64 * mebibyte;
    for (const auto& [name, expected] : cases) {
        if (name != program) continue;
        const std::string count = program == "matrix_product" ? "10000"
                                  : program == "record_sort"  ? "40000000"
                                                              : "100000000";
        const support::Outcome outcome =
            support::run_program(support::executable_path(executable), count + " 1 2 3\n", options);
        EXPECT_EQ(outcome.signal, 0);
        EXPECT_EQ(outcome.exit_code, 255);
        EXPECT_EQ(outcome.out, expected);
        EXPECT_EQ(outcome.err, "");
    }
}

INSTANTIATE_TEST_SUITE_P(Limits, BlockRefused,
                         testing::ValuesIn(builds_of({"quick_sort", "heap_sort", "record_sort", "matrix_product",
                                                      "fib_table"})),
                         build_name);

// Values that make the middle element of every range the largest of it, so
// that each partition splits off a single element: naive recursion would
// nest once per element.
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

class DeepInputOnASmallStack : public testing::TestWithParam<std::string> {};

TEST_P(DeepInputOnASmallStack, QuickSortStillSorts) {
    constexpr std::int32_t count = 30000;  // naive recursion would need well over a mebibyte of stack
    std::string input = std::to_string(count) + "\n";
    for (const std::int32_t value : middle_pivot_killer(count)) input += std::to_string(value) + "\n";
    std::string expected;
    for (std::int32_t value = 1; value <= count; ++value) expected += std::to_string(value) + "\n";

    support::RunOptions options;
    options.stack_limit = 256 * 1024;
    const support::Outcome outcome = support::run_program(support::executable_path(GetParam()), input, options);
    EXPECT_EQ(outcome.signal, 0);
    EXPECT_EQ(outcome.exit_code, 0);
    EXPECT_TRUE(outcome.out == expected);
}

INSTANTIATE_TEST_SUITE_P(Limits, DeepInputOnASmallStack, testing::ValuesIn(builds_of({"quick_sort"})), build_name);

// F(n) modulo 2^32.
std::int32_t fibonacci(std::int32_t n) {
    std::uint32_t previous = 0;
    std::uint32_t current = 1;
    for (std::int32_t step = 0; step < n; ++step) current = std::exchange(previous, current) + current;
    return static_cast<std::int32_t>(previous);
}

class ChainBeyondTheStack : public testing::TestWithParam<std::string> {};

TEST_P(ChainBeyondTheStack, FibRecursiveGivesTheValueWithoutCrashing) {
    support::RunOptions options;
    options.stack_limit = 1024 * 1024;
    for (const std::int32_t n : {25, 100000, 3000000}) {
        const support::Outcome outcome =
            support::run_program(support::executable_path(GetParam()), std::to_string(n) + "\n", options);
        EXPECT_EQ(outcome.signal, 0) << n;
        EXPECT_EQ(outcome.exit_code, 0) << n;
        EXPECT_EQ(outcome.out, "please enter nr: the " + std::to_string(n) + "th fibonacci number is " +
                                   std::to_string(fibonacci(n)) + "\n");
    }
}

INSTANTIATE_TEST_SUITE_P(Limits, ChainBeyondTheStack, testing::ValuesIn(builds_of({"fib_recursive"})), build_name);

TEST(UnlimitedStack, FibRecursiveStillKnowsWhereMemoryEnds) {
    if (support::sanitized_build()) GTEST_SKIP() << "the sanitizer runtime needs more address space than the limit";
    support::RunOptions options;
    options.stack_limit = RLIM_INFINITY;
    options.address_space_limit = 2048 * mebibyte;
    for (const std::string& executable : support::builds_of("fib_recursive")) {
        const support::Outcome outcome =
            support::run_program(support::executable_path(executable), "2147483647", options);
        EXPECT_EQ(outcome.signal, 0) << executable;
        EXPECT_EQ(outcome.out, "please enter nr: the 2147483647th fibonacci number is -1070270179\n") << executable;
    }
}

// The console keeps its buffers on the heap: every program runs on a stack
// as small as a plain C program needs.
TEST(SmallStack, EveryProgramRunsItsSampleOn64KiB) {
    if (support::sanitized_build()) GTEST_SKIP() << "sanitizer instrumentation needs stack of its own";
    support::RunOptions options;
    options.stack_limit = 64 * 1024;
    for (const std::string& executable : support::all_executables()) {
        const std::string input = support::sample_input(executable);
        const std::string path = support::executable_path(executable);
        const support::Outcome limited = support::run_program(path, input, options);
        EXPECT_EQ(limited.signal, 0) << executable;
        EXPECT_EQ(limited.exit_code, 0) << executable;
        EXPECT_EQ(limited.out, support::run_program(path, input).out) << executable;
    }
}

}  // namespace
