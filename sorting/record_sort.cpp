// record_sort: reads dated data items, numbers them in input order, sorts
// them by month (equal months keep their input order) and lists them.

#include <cstdint>

#include "suite.hpp"

namespace {

struct DataItem {
    std::int32_t id;     // position in the input, from 0
    std::int32_t month;  // the sort key, any value
    std::int32_t year;   // carried along, never compared
};

// Bubble sort with early exit over whole records.  Each pass carries the
// record that is bubbling up in hand and writes every record it passes one
// place back, which leaves the same order as exchanging neighbours but
// writes each record only once.
void sort_items_by_month(DataItem* items, std::int32_t item_count) {
    if (item_count < 2) return;
    for (std::int32_t pass = 0; pass < item_count - 1; ++pass) {
        bool swapped = false;
        DataItem carried = items[0];
        const std::int32_t last = item_count - 1 - pass;
        for (std::int32_t j = 0; j < last; ++j) {
            if (carried.month > items[j + 1].month) {
                items[j] = items[j + 1];
                swapped = true;
            } else {
                items[j] = carried;
                carried = items[j + 1];
            }
        }
        items[last] = carried;
        if (!swapped) return;
    }
}

void print_items(suite::Console& io, const DataItem* items, std::int32_t item_count) {
    for (std::int32_t i = 0; i < item_count; ++i) {
        io.print("id:    %i\nmonth: %i\nyear:  %i\n\n", items[i].id, items[i].month, items[i].year);
    }
}

}  // namespace

int main() {
    suite::Console io;
    io.print("please insert the number of data items:\n");
    const std::int32_t item_count = io.read_int();

    suite::HeapArray<DataItem> block;  // none is needed for a count of 0 or below
    if (item_count > 0) {
        block = suite::allocate_array<DataItem>(static_cast<std::uint64_t>(item_count));
        if (!block) return -1;
    }
    DataItem* const items = block.get();

    for (std::int32_t i = 0; i < item_count; ++i) {
        items[i].id = i;
        io.print("please insert month and year for data item %i:\n", i);
        items[i].month = io.read_int();
        items[i].year = io.read_int();
    }
    sort_items_by_month(items, item_count);
    print_items(io, items, item_count);
    return 0;
}
