#include <stdbool.h>
#include <stdio.h>

static void sort_selection(int* values, int count);
static void print_values(const int* values, int count);

int main(void) {
    int count = 0, values[10] = {0};
    scanf("%i", &count);
    if (count > 10) count = 10;
    if (count <= 0) return -1;
    for (int i = 0; i < count; i++) { int v = 0; scanf("%i", &v); values[i] = v; }
    sort_selection(values, count);
    print_values(values, count);
    return 0;
}

static void sort_selection(int* values, int count) {
    for (int i = 0; i < count - 1; i++) {
        int min_value = values[i], min_index = i;
        bool found = false;
        for (int j = i + 1; j < count; j++) {
            if (values[j] < min_value) min_value = values[j], min_index = j, found = true;
        }
        if (found) values[min_index] = values[i], values[i] = min_value;
    }
}

static void print_values(const int* values, int count) {
    for (int i = 0; i < count; i++) printf("%i ", values[i]);
    printf("\n");
}
