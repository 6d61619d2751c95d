// bubble_sort: reads a count and up to ten numbers, sorts them by bubble
// sort with an early exit and prints them on one line.

#include <cstdint>
#include <cstdio>

#include "suite.hpp"

namespace {

// Passes of adjacent exchanges; pass p leaves the largest of the first
// count - p elements at the end of them.  The passes stop after count - 1
// of them, or as soon as one exchanges nothing.
void sort_bubble(std::int32_t* values, std::int32_t count) {
    if (count < 2) return;
    std::int32_t pass = 0;
    bool swapped;
    do {
        swapped = false;
        for (std::int32_t j = 0; j < count - 1 - pass; j++) {
            if (values[j] > values[j + 1]) {
                const std::int32_t larger = values[j];
                values[j] = values[j + 1];
                values[j + 1] = larger;
                swapped = true;
            }
        }
        pass++;
    } while (pass < count - 1 && swapped);
}

}  // namespace

int main() {
    // Zero before the reading: a number that cannot be read leaves 0.
    std::int32_t count = 0;
    std::int32_t values[10] = {};

    std::scanf("%i", &count);
    if (count > 10) count = 10;
    if (count == 0) return -1;

    for (std::int32_t i = 0; i < count; i++) std::scanf("%i", &values[i]);
    sort_bubble(values, count);
    for (std::int32_t i = 0; i < count; i++) std::printf("%i ", values[i]);
    std::printf("\n");
    return 0;
}
