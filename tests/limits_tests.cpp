// Runs under tight resource limits: blocks that cannot be had, and inputs
// that would nest calls deeper than a small stack holds.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/sysinfo.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "model_check.hpp"
#include "process.hpp"
#include "random_input.hpp"

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
struct Refusal {
    std::string program;
    std::string input;
    std::string out;
};

class BlockRefused : public testing::TestWithParam<std::string> {};

TEST_P(BlockRefused, TakesTheRefusalPath) {
    if (support::emulated()) GTEST_SKIP() << "ulimit -v binds the emulator too: its code buffer alone needs 128 MiB";
    if (support::sanitized_build()) GTEST_SKIP() << "the sanitizer runtime needs more address space than the limit";
    const std::string& executable = GetParam();
    // Each input asks for about 400 MB (heap_sort's -1 for 4 GiB); the limit
    // allows 64 MiB in all.
    const std::vector<Refusal> cases = {
        {"quick_sort", "100000000 1 2 3\n", ""},
        {"heap_sort", "100000000 1 2 3\n", ""},
        {"heap_sort", "-1 1 2 3\n", ""},
        {"record_sort", "40000000 1 2 3\n", "please insert the number of data items:\n"},
        {"matrix_product", "10000 1 2 3\n", "please enter the dimension: \n"},
        {"fib_table", "100000000 1 2 3\n", "please enter nr: error by memory allocation\n"},
    };
    support::RunOptions options;
    options.address_space_limit = 64 * mebibyte;
    for (const Refusal& refusal : cases) {
        if (refusal.program != support::program_of(executable)) continue;
        const support::Outcome outcome =
            support::run_program(support::executable_path(executable), refusal.input, options);
        EXPECT_EQ(outcome.signal, 0) << refusal.input;
        EXPECT_EQ(outcome.exit_code, 255) << refusal.input;
        EXPECT_EQ(outcome.out, refusal.out) << refusal.input;
        EXPECT_EQ(outcome.err, "") << refusal.input;
    }
}

INSTANTIATE_TEST_SUITE_P(Limits, BlockRefused,
                         testing::ValuesIn(builds_of({"quick_sort", "heap_sort", "record_sort", "matrix_product",
                                                      "fib_table"})),
                         build_name);

// Blocks that malloc grants but the machine cannot back, with no limit set:
// matrix_product's three blocks, each a third of the machine's memory and
// swap, and record_sort's one block beyond it.  Both are refused at once,
// before a single element is read; none of them is ever touched.
TEST(BlocksBeyondTheMachine, AreRefusedBeforeAnythingIsRead) {
    struct sysinfo machine {};
    ASSERT_EQ(::sysinfo(&machine), 0);
    const double memory = (double(machine.totalram) + double(machine.totalswap)) * machine.mem_unit;
    const auto dimension = static_cast<std::int64_t>(std::sqrt(memory / 12)) + 1;
    const auto items = static_cast<std::int64_t>(memory / 12) + 1;
    if (dimension > INT32_MAX || items > INT32_MAX) GTEST_SKIP() << "the machine backs every block a count can ask for";
    const std::vector<Refusal> cases = {
        {"matrix_product", std::to_string(dimension), "please enter the dimension: \n"},
        {"record_sort", std::to_string(items), "please insert the number of data items:\n"},
    };
    support::RunOptions options;
    options.timeout = std::chrono::seconds(30);
    for (const Refusal& refusal : cases) {
        for (const std::string& executable : support::builds_of(refusal.program)) {
            const support::Outcome outcome =
                support::run_program(support::executable_path(executable), refusal.input, options);
            EXPECT_FALSE(outcome.timed_out) << executable;
            EXPECT_EQ(outcome.signal, 0) << executable;
            EXPECT_EQ(outcome.exit_code, 255) << executable;
            EXPECT_EQ(outcome.out, refusal.out) << executable;
        }
    }
}

// heap_sort's count of -1 asks for 4294967292 bytes (the count times 4 in
// 32-bit arithmetic) and reads nothing: a 64-bit machine grants the block
// and the run ends with 0, a 32-bit one cannot have it and the run ends
// with 255.  There a count above 1073741823 cannot have its block either.
TEST(HeapSortWrappedCount, DependsOnTheMachineOnlyThroughTheBlock) {
    for (const std::string& executable : support::builds_of("heap_sort")) {
        const std::string path = support::executable_path(executable);
        const bool wide = support::address_bits(executable) == 64;
        const support::Outcome minus_one = support::run_program(path, "-1\n5\n");
        EXPECT_EQ(minus_one.exit_code, wide ? 0 : 255) << executable;
        EXPECT_EQ(minus_one.out, "") << executable;
        EXPECT_EQ(minus_one.unread_input, "\n5\n") << executable;
        if (!wide) {
            const support::Outcome beyond = support::run_program(path, "1073741825\n5\n");
            EXPECT_EQ(beyond.exit_code, 255) << executable;
            EXPECT_EQ(beyond.out, "") << executable;
        }
    }
}

// Input crafted so that every right part, sorted by a nested call, is all
// but one element of its range nests quick_sort's calls no deeper than
// twice the binary digits of the count: it sorts in 16 KiB of stack.  The
// limit is twice that: the start of a process takes up to about 16 KiB of
// it on its own (the kernel leaves up to 8 KiB at random below the
// arguments, then the dynamic loader), so that a run of one number fails
// in about half of the runs at 15 KiB.  Nesting without a bound (200,000
// calls here) would not fit; the probe's test holds the depth itself.
class DeepInputOnASmallStack : public testing::TestWithParam<std::string> {};

TEST_P(DeepInputOnASmallStack, QuickSortStillSorts) {
    if (support::sanitized_build()) GTEST_SKIP() << "sanitizer instrumentation needs stack of its own";
    if (support::emulated()) GTEST_SKIP() << "under an emulator the program's stack is the emulator's own";
    constexpr std::int32_t count = 200000;
    std::string input = std::to_string(count) + "\n";
    for (const std::int32_t value : support::smallest_in_the_middle(count)) input += std::to_string(value) + "\n";
    std::string expected;
    for (std::int32_t value = 1; value <= count; ++value) expected += std::to_string(value) + "\n";

    support::RunOptions options;
    options.stack_limit = 32 * 1024;
    for (int run = 0; run < 5; ++run) {
        const support::Outcome outcome = support::run_program(support::executable_path(GetParam()), input, options);
        ASSERT_EQ(outcome.signal, 0) << "run " << run;
        ASSERT_EQ(outcome.exit_code, 0) << "run " << run;
        ASSERT_TRUE(outcome.out == expected) << "run " << run;
    }
}

INSTANTIATE_TEST_SUITE_P(Limits, DeepInputOnASmallStack, testing::ValuesIn(builds_of({"quick_sort"})), build_name);

std::string fibonacci_line(std::int32_t n) {
    return "please enter nr: the " + std::to_string(n) + "th fibonacci number is " +
           std::to_string(support::fibonacci(n)) + "\n";
}

// fib_recursive recurses while its estimate of 512 bytes a call says the
// chain of n - 1 calls fits in the stack, and computes by fast doubling beyond.
// Near that bound on a 1 MiB stack: an n just inside recurses, reaches its
// deepest chain at once and then runs for ages (the test ends it), without
// ever overflowing the stack; an n just outside gives its value at once.
class ChainBeyondTheStack : public testing::TestWithParam<std::string> {};

TEST_P(ChainBeyondTheStack, FibRecursiveGivesTheValueWithoutCrashing) {
    constexpr std::uint64_t stack = 1024 * 1024;
    support::RunOptions options;
    options.stack_limit = stack;
    const std::string path = support::executable_path(GetParam());
    for (const std::int32_t n :
         {25, static_cast<std::int32_t>(stack / 512 + 1), 4096, 65535, 100000, 3000000, INT32_MAX}) {
        const support::Outcome outcome = support::run_program(path, std::to_string(n) + "\n", options);
        EXPECT_EQ(outcome.signal, 0) << n;
        EXPECT_EQ(outcome.exit_code, 0) << n;
        EXPECT_EQ(outcome.out, fibonacci_line(n));
    }
    const auto inside = static_cast<std::int32_t>((stack - 192 * 1024) / 512);
    options.timeout = std::chrono::seconds(3);
    const support::Outcome deep = support::run_program(path, std::to_string(inside) + "\n", options);
    EXPECT_TRUE(deep.timed_out) << "n = " << inside << " should still be recursing";
    EXPECT_EQ(deep.signal, SIGKILL) << "n = " << inside;
    EXPECT_EQ(deep.out.find("fibonacci"), std::string::npos) << "n = " << inside << " printed a value";
}

INSTANTIATE_TEST_SUITE_P(Limits, ChainBeyondTheStack, testing::ValuesIn(builds_of({"fib_recursive"})), build_name);

// An unlimited stack still ends where the address space does: every build
// computes by fast doubling, whatever the address-space limit.
TEST(UnlimitedStack, FibRecursiveStillKnowsWhereMemoryEnds) {
    if (support::emulated())
        GTEST_SKIP() << "ulimit -v binds the emulator too: its code buffer alone needs 128 MiB, a 32-bit guest 4 GiB";
    if (support::sanitized_build()) GTEST_SKIP() << "the sanitizer runtime needs more address space than the limit";
    support::RunOptions options;
    options.stack_limit = RLIM_INFINITY;
    const std::pair<std::uint64_t, std::int32_t> runs[] = {
        {2097152, 2147483647}, {60000, 2000000}, {30000, 2000000}, {15000, 2000000}};
    for (const auto& [kib, n] : runs) {
        options.address_space_limit = kib * 1024;
        {
            for (const std::string& executable : support::builds_of("fib_recursive")) {
                const support::Outcome outcome =
                    support::run_program(support::executable_path(executable), std::to_string(n), options);
                EXPECT_EQ(outcome.signal, 0) << executable << " with ulimit -v " << kib;
                EXPECT_EQ(outcome.exit_code, 0) << executable << " with ulimit -v " << kib;
                EXPECT_EQ(outcome.out, fibonacci_line(n)) << executable << " with ulimit -v " << kib;
            }
        }
    }
}

// Every program runs its sample on a stack as small as a plain C program
// needs.
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
