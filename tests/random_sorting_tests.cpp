// Random dialogues with the sorting programs, each checked against a model
// written here: the count rules of each program, the values it reads and
// the list it prints sorted; dated items sorted by month, equal months kept
// in the order they were entered.  Last, which inputs make quick_sort
// finish a range by heap sort.

#include <gtest/gtest.h>
#include <sys/sysinfo.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model_check.hpp"
#include "process.hpp"
#include "random_input.hpp"
#include "suite_programs.hpp"

namespace {

using support::cat;
using support::Expected;
using support::RandomInput;
using support::Typist;

// A list of `length` numbers: at times with many ties, already in order,
// reversed or all equal.
std::vector<std::int32_t> some_list(RandomInput& random, std::int32_t length) {
    const std::int32_t kind = random.between(0, 5);
    std::vector<std::int32_t> list;
    for (std::int32_t i = 0; i < length; ++i) {
        list.push_back(kind == 0 ? random.between(-3, 3) : kind == 1 ? random.between(-1000, 1000) : random.value());
    }
    if (kind == 3) std::ranges::sort(list);
    if (kind == 4) std::ranges::sort(list, std::ranges::greater{});
    if (kind == 5 && !list.empty()) std::ranges::fill(list, list.front());
    return list;
}

// Types a list of `typed` numbers (for a negative count up to two that stay
// unread); the program reads the first `count`. Returns those sorted.
std::vector<std::int32_t> sorted_reads(RandomInput& random, Typist& typist, std::int32_t typed, std::int32_t count) {
    const std::int32_t length = typed >= 0 ? typed : random.between(0, 2);
    const std::size_t reads = count > 0 ? static_cast<std::size_t>(count) : 0;
    std::vector<std::int32_t> got = typist.numbers(some_list(random, length), reads);
    std::ranges::sort(got);
    return got;
}

std::string one_line(const std::vector<std::int32_t>& values) {
    std::string line;
    for (const std::int32_t x : values) line += cat(x, " ");
    return line + "\n";
}

std::string one_per_line(const std::vector<std::int32_t>& values) {
    std::string lines;
    lines.reserve(12 * values.size());
    char number[16];
    for (const std::int32_t x : values) {
        char* const end = std::to_chars(number, number + sizeof number - 1, x).ptr;
        *end = '\n';
        lines.append(number, end + 1);
    }
    return lines;
}

// A count around the clamp of ten, at times any value at all.
std::int32_t ten_count(RandomInput& random) { return random.chance(0.85) ? random.between(-2, 14) : random.value(); }

// A count without a clamp: small, up to a few hundred, or negative.
std::int32_t long_count(RandomInput& random) {
    const std::int32_t kind = random.between(0, 6);
    return kind < 3 ? random.between(-2, 12) : kind < 6 ? random.between(13, 300) : random.between(INT32_MIN, -1);
}

Expected selection_sort(RandomInput& random, Typist& typist) {
    const std::int32_t typed = ten_count(random);
    const std::int32_t count = std::min(typist.number(typed), 10);
    const std::vector<std::int32_t> sorted = sorted_reads(random, typist, std::min(typed, 14), count);
    if (count <= 0) return {"", 255};
    return {one_line(sorted)};
}

Expected bubble_sort(RandomInput& random, Typist& typist) {
    const std::int32_t typed = ten_count(random);
    const std::int32_t count = std::min(typist.number(typed), 10);
    const std::vector<std::int32_t> sorted = sorted_reads(random, typist, std::min(typed, 14), count);
    if (count == 0) return {"", 255};
    return {one_line(sorted)};
}

// A negative count reads nothing but asks for count * 4 bytes, reduced
// modulo 2^32, up to 4294967292.  A 64-bit machine grants any such block
// that its memory and swap can hold.  Whether a 32-bit one grants a block
// of 1 GiB or more depends on how its address space is laid out (i686 has
// 3 GiB for a process, 32-bit MIPS 2 GiB in all), so there either the run
// or the refusal (status 255, no output) is right; smaller blocks it grants.
Expected heap_sort(RandomInput& random, Typist& typist) {
    static const bool wide = support::address_bits(support::builds_of("heap_sort").front()) == 64;
    static const std::uint64_t memory = [] {
        struct sysinfo machine {};
        ::sysinfo(&machine);
        return (std::uint64_t{machine.totalram} + machine.totalswap) * machine.mem_unit;
    }();
    const std::int32_t typed = long_count(random);
    const std::int32_t count = typist.number(typed);
    const std::vector<std::int32_t> sorted = sorted_reads(random, typist, typed, count);
    if (count >= 0) return {one_per_line(sorted)};
    const std::uint64_t bytes = static_cast<std::uint32_t>(count) * 4U;
    if (wide) return {"", bytes <= memory ? 0 : 255};
    return {"", 0, bytes >= (std::uint64_t{1} << 30)};
}

Expected quick_sort(RandomInput& random, Typist& typist) {
    const std::int32_t typed = long_count(random);
    const std::int32_t count = typist.number(typed);
    const std::vector<std::int32_t> sorted = sorted_reads(random, typist, typed, count);
    if (count <= 0) return {"", 255};
    return {one_per_line(sorted)};
}

struct Item {
    std::int32_t id, month, year;
};

Expected record_sort(RandomInput& random, Typist& typist) {
    const std::int32_t typed = random.chance(0.9) ? random.between(-3, 30) : random.between(INT32_MIN, -1);
    const std::int32_t count = typist.number(typed);
    const std::int32_t kind = random.between(0, 2);  // months that tie often, a few out of range, or any value
    const auto month = [&] {
        return kind == 0 ? random.between(1, 12) : kind == 1 ? random.between(-2, 14) : random.value();
    };
    const bool plain_years = random.chance(0.5);
    std::string out = "please insert the number of data items:\n";
    std::vector<Item> items;
    for (std::int32_t id = 0; id < count; ++id) {
        out += cat("please insert month and year for data item ", id, ":\n");
        const std::int32_t m = typist.first_of_two(month());
        items.push_back({id, m, typist.number(plain_years ? random.between(1900, 2100) : random.value())});
    }
    std::ranges::stable_sort(items, {}, &Item::month);
    for (const Item& item : items) {
        out += cat("id:    ", item.id, "\nmonth: ", item.month, "\nyear:  ", item.year, "\n\n");
    }
    return {out};
}

RANDOM_DIALOGUES(SelectionSort, "selection_sort", 0x2101, 11, selection_sort);
RANDOM_DIALOGUES(BubbleSort, "bubble_sort", 0x2202, 11, bubble_sort);
RANDOM_DIALOGUES(HeapSort, "heap_sort", 0x2303, 40, heap_sort);
RANDOM_DIALOGUES(QuickSort, "quick_sort", 0x2404, 40, quick_sort);
RANDOM_DIALOGUES(RecordSort, "record_sort", 0x2505, 40, record_sort);

// quick_sort finishes a range by heap sort once its calls nest twice as
// deep as the count has binary digits.  quick_sort_probe, the same source
// built to report on standard error how deep the calls nested and how many
// ranges it finished so, shows which inputs take that path: the output must
// be the numbers sorted either way.

struct Probed {
    long long fallbacks = -1;  // -1: standard error held anything but the one line
    long long deepest = -1;
};

Probed probed(const std::string& err) {
    long long fallbacks = 0;
    long long deepest = 0;
    char end = 0;
    if (std::sscanf(err.c_str(), "heap sort fallbacks: %lld, deepest nesting: %lld%c", &fallbacks, &deepest, &end) != 3 ||
        end != '\n' || err.find('\n') != err.size() - 1) {
        return {};
    }
    return {fallbacks, deepest};
}

// Runs the probe on `values` and checks that it prints `sorted_lines` (the
// values sorted, one per line) and nests no deeper than 2 log2(count) + 2.
Probed probe(const std::vector<std::int32_t>& values, const std::string& sorted_lines, const std::string& what) {
    const std::string probe_path(suite_programs::quick_sort_probe);
    const support::Outcome outcome = support::run_program(probe_path, cat(values.size(), "\n") + one_per_line(values));
    EXPECT_EQ(outcome.signal, 0) << what;
    EXPECT_EQ(outcome.exit_code, 0) << what;
    EXPECT_TRUE(outcome.out == sorted_lines) << what << ": the output is not the numbers sorted";
    const Probed result = probed(outcome.err);
    EXPECT_GE(result.deepest, 1) << what << ": " << outcome.err;
    EXPECT_LE(static_cast<double>(result.deepest), 2 * std::log2(static_cast<double>(values.size())) + 2) << what;
    return result;
}

Probed probe(const std::vector<std::int32_t>& values, const std::string& what) {
    std::vector<std::int32_t> sorted = values;
    std::sort(sorted.begin(), sorted.end());  // std::ranges::sort is slower unoptimised
    return probe(values, one_per_line(sorted), what);
}

TEST(QuickSortFallback, OrdinaryInputNeverReachesIt) {
    RandomInput random(0x2406);
    for (const std::int32_t count : {1, 2, 33, 100, 1000, 30000, 1000000}) {
        std::vector<std::int32_t> any(static_cast<std::size_t>(count));
        std::vector<std::int32_t> few(any.size());
        for (std::int32_t& x : any) x = random.between(INT32_MIN, INT32_MAX);
        for (std::int32_t& x : few) x = random.between(-3, 3);
        std::vector<std::int32_t> sorted = any;
        std::sort(sorted.begin(), sorted.end());
        const std::vector<std::int32_t> reversed(sorted.rbegin(), sorted.rend());
        const std::vector<std::int32_t> equal(any.size(), any.front());
        const std::string sorted_lines = one_per_line(sorted);
        const std::string what = cat(", ", count, " numbers");
        EXPECT_EQ(probe(any, sorted_lines, "random" + what).fallbacks, 0) << "random" << what;
        EXPECT_EQ(probe(sorted, sorted_lines, "sorted" + what).fallbacks, 0) << "sorted" << what;
        EXPECT_EQ(probe(reversed, sorted_lines, "reversed" + what).fallbacks, 0) << "reversed" << what;
        EXPECT_EQ(probe(equal, one_per_line(equal), "all equal" + what).fallbacks, 0) << "all equal" << what;
        EXPECT_EQ(probe(few, "seven distinct values" + what).fallbacks, 0) << "seven distinct values" << what;
    }
}

// Input that makes the middle element of every range its largest, an organ
// pipe (rising, then falling), on which the middle element is the largest
// too, and input that makes it the smallest: partitions split off a few
// elements at a time, and without the bounds each sort would take seconds,
// and the last would nest a call per element.
TEST(QuickSortFallback, InputAgainstTheMiddlePivotReachesIt) {
    constexpr std::int32_t count = 200000;
    std::vector<std::int32_t> organ_pipe;
    for (std::int32_t i = 0; i < count; ++i) organ_pipe.push_back(std::min(i, count - 1 - i));
    EXPECT_GE(probe(support::middle_pivot_killer(count), "largest in the middle").fallbacks, 1);
    EXPECT_GE(probe(organ_pipe, "organ pipe").fallbacks, 1);
    const Probed nesting = probe(support::smallest_in_the_middle(count), "smallest in the middle");
    EXPECT_GE(nesting.fallbacks, 1);
    EXPECT_EQ(nesting.deepest, 36);  // 2 * 18 binary digits of 200000
}

}  // namespace
