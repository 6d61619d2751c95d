#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

static void swap_values(int* values, int64_t i, int64_t j) {
    const int kept = values[i];
    values[i] = values[j], values[j] = kept;
}

static void sift_down(int* values, int64_t start, int64_t end) {
    int64_t root = start;
    for (;;) {
        const int64_t child = 2 * root + 1;
        if (child > end) return;
        int64_t pick = root;
        if (values[root] < values[child]) pick = child;
        if (child + 1 <= end && values[pick] < values[child + 1]) pick = child + 1;
        if (pick == root) return;
        swap_values(values, root, pick);
        root = pick;
    }
}

static void build_heap(int* values, int64_t count) {
    if (count <= 0) return;
    for (int64_t start = (count - 2) / 2; start >= 0; start--) sift_down(values, start, count - 1);
}

static void sort_heap(int* values, int64_t count) {
    build_heap(values, count);
    int64_t end = count - 1;
    while (end > 0) {
        swap_values(values, end, 0);
        end--;
        sift_down(values, 0, end);
    }
}

int main(void) {
    int count = 0;
    scanf("%i", &count);
    int* values = malloc((size_t)count * sizeof(int));
    if (values == NULL) return -1;
    for (int i = 0; i < count; i++) { int v = 0; scanf("%i", &v); values[i] = v; }
    sort_heap(values, count);
    for (int i = 0; i < count; i++) printf("%i\n", values[i]);
    return 0;
}
