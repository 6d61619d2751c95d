// selection_sort: reads a count and up to ten numbers, sorts them by
// selection sort and prints them on one line.

#include <cstdint>
#include <cstdio>

#include "suite.hpp"

namespace {

void sort_selection(std::int32_t* values, std::int32_t count);
void print_values(const std::int32_t* values, std::int32_t count);

}  // namespace

int main() {
    // Zero before the reading: a number that cannot be read leaves 0.
    std::int32_t count = 0;
    std::int32_t values[10] = {};

    std::scanf("%i", &count);
    if (count > 10) count = 10;
    if (count <= 0) return -1;

    for (std::int32_t i = 0; i < count; i++) std::scanf("%i", &values[i]);
    sort_selection(values, count);
    print_values(values, count);
    return 0;
}

namespace {

// Each pass finds the earliest smallest value of the unsorted rest and
// exchanges it with the first element of that rest, if it is not already
// there.
void sort_selection(std::int32_t* values, std::int32_t count) {
    for (std::int32_t i = 0; i < count - 1; i++) {
        std::int32_t min_value = values[i];
        std::int32_t min_index = i;
        bool found = false;
        for (std::int32_t j = i + 1; j < count; j++) {
            if (values[j] < min_value) {
                min_value = values[j];
                min_index = j;
                found = true;
            }
        }
        if (found) {
            values[min_index] = values[i];
            values[i] = min_value;
        }
    }
}

void print_values(const std::int32_t* values, std::int32_t count) {
    for (std::int32_t i = 0; i < count; i++) std::printf("%i ", values[i]);
    std::printf("\n");
}

}  // namespace
