#include <stdbool.h>
#include <stdio.h>
#include <stdlib.h>

struct data_item { int id, month, year; };

static void sort_items_by_month(struct data_item* items, int item_count) {
    if (item_count < 2) return;
    for (int pass = 0;; pass++) {
        bool swapped = false;
        for (int j = 0; j < item_count - 1 - pass; j++) {
            if (items[j].month > items[j + 1].month) {
                const struct data_item kept = items[j];
                items[j] = items[j + 1], items[j + 1] = kept, swapped = true;
            }
        }
        if (!(pass + 1 < item_count - 1) || !swapped) return;
    }
}

static void print_items(const struct data_item* items, int item_count) {
    if (item_count <= 0) return;
    for (int i = 0; i < item_count; i++) {
        printf("id:    %i\nmonth: %i\nyear:  %i\n\n", items[i].id, items[i].month, items[i].year);
    }
}

int main(void) {
    int item_count = 0;
    puts("please insert the number of data items:");
    scanf("%i", &item_count);
    struct data_item* items = malloc((size_t)item_count * sizeof(struct data_item));
    if (item_count > 0 && items == NULL) return -1;
    for (int i = 0; i < item_count; i++) {
        items[i].id = i;
        printf("please insert month and year for data item %i:\n", i);
        int month = 0, year = 0;
        scanf("%i%i", &month, &year);
        items[i].month = month, items[i].year = year;
    }
    sort_items_by_month(items, item_count);
    print_items(items, item_count);
    return 0;
}
