// Random dialogues with the sorting programs, each checked against a model
// written here: the count rules of each program, the values it reads and
// the list it prints sorted; dated items sorted by month, equal months kept
// in the order they were entered.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "model_check.hpp"
#include "process.hpp"
#include "random_input.hpp"

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
    for (const std::int32_t x : values) lines += cat(x, "\n");
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

Expected heap_sort(RandomInput& random, Typist& typist) {
    const std::int32_t typed = long_count(random);
    const std::int32_t count = typist.number(typed);
    const std::vector<std::int32_t> sorted = sorted_reads(random, typist, typed, count);
    if (count < 0) return {"", 255};
    return {one_per_line(sorted)};
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
        const std::int32_t m = typist.number(month());
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

}  // namespace
