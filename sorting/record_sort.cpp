// record_sort: reads dated items, numbers them in input order, sorts them
// by month (equal months keep their order) and prints every item.

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "suite.hpp"

namespace {

struct DataItem {
    std::int32_t id;     // position in the input, from 0
    std::int32_t month;  // the sort key, any value
    std::int32_t year;   // carried along, never compared
};

// Bubble sort with early exit over whole records; equal months are never
// exchanged, so they keep their input order.
void sort_items_by_month(DataItem* items, std::int32_t item_count) {
    if (item_count < 2) return;
    for (std::int32_t pass = 0;; pass++) {
        bool swapped = false;
        for (std::int32_t j = 0; j < item_count - 1 - pass; j++) {
            if (items[j].month > items[j + 1].month) {
                const DataItem kept = items[j];
                items[j] = items[j + 1];
                items[j + 1] = kept;
                swapped = true;
            }
        }
        if (!(pass + 1 < item_count - 1) || !swapped) return;
    }
}

void print_items(const DataItem* items, std::int32_t item_count) {
    if (item_count <= 0) return;
    for (std::int32_t i = 0; i < item_count; i++) {
        std::printf("id:    %i\nmonth: %i\nyear:  %i\n\n", items[i].id, items[i].month, items[i].year);
    }
}

}  // namespace

int main() {
    std::int32_t item_count = 0;  // a number that cannot be read leaves 0

    std::puts("please insert the number of data items:");
    std::scanf("%i", &item_count);
    // Sized in 64 bits for a positive count, so that the block holds it;
    // malloc refuses a block that memory cannot hold.
    auto* items = static_cast<DataItem*>(std::malloc(suite::block_bytes(item_count, sizeof(DataItem))));
    if (item_count > 0 && items == nullptr) return -1;  // a count whose block cannot be had is refused

    for (std::int32_t i = 0; i < item_count; i++) {
        items[i].id = i;
        std::printf("please insert month and year for data item %i:\n", i);
        items[i].month = items[i].year = 0;  // a number that cannot be read leaves 0
        std::scanf("%i%i", &items[i].month, &items[i].year);
    }
    sort_items_by_month(items, item_count);
    print_items(items, item_count);
    return 0;
}
