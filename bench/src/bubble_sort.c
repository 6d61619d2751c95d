#include <stdbool.h>
#include <stdio.h>

static void sort_bubble(int* values, int count) {
    if (count < 2) return;
    int pass = 0;
    bool swapped;
    do {
        swapped = false;
        for (int j = 0; j < count - 1 - pass; j++) {
            if (values[j] > values[j + 1]) {
                const int larger = values[j];
                values[j] = values[j + 1], values[j + 1] = larger, swapped = true;
            }
        }
        pass++;
    } while (pass < count - 1 && swapped);
}

int main(void) {
    int count = 0, values[10] = {0};
    scanf("%i", &count);
    if (count > 10) count = 10;
    if (count == 0) return -1;
    for (int i = 0; i < count; i++) { int v = 0; scanf("%i", &v); values[i] = v; }
    sort_bubble(values, count);
    for (int i = 0; i < count; i++) printf("%i ", values[i]);
    printf("\n");
    return 0;
}
