/* The heap sort that finishes a range past the bounds, written out. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

static void sift_down(int* values, int64_t root, int64_t count) {
    for (int64_t child; (child = 2 * root + 1) < count; root = child) {
        if (child + 1 < count && values[child] < values[child + 1]) child++;
        if (!(values[root] < values[child])) return;
        const int kept = values[root];
        values[root] = values[child], values[child] = kept;
    }
}

static void heap_sort(int* values, int64_t count) {
    for (int64_t start = count / 2 - 1; start >= 0; start--) sift_down(values, start, count);
    for (int64_t end = count - 1; end > 0; end--) {
        const int kept = values[0];
        values[0] = values[end], values[end] = kept;
        sift_down(values, 0, end);
    }
}

static void sort_quick(int* values, int lo, int hi, int nesting_left, int uneven_left) {
    const unsigned count = (unsigned)(hi - lo + 1);
    if (nesting_left < 0) nesting_left = 2 * (count == 0 ? 0 : 32 - __builtin_clz(count)) - 1;
    for (;;) {
        if (nesting_left == 0 || uneven_left == 0) {
            heap_sort(values + lo, (int64_t)hi - lo + 1);
            return;
        }
        const int pivot = values[((int64_t)lo + hi) / 2];
        int i = lo, j = hi;
        do {
            while (values[i] < pivot && i < hi) i++;
            while (pivot < values[j] && j > lo) j--;
            if (i <= j) {
                const int kept = values[i];
                values[i] = values[j], values[j] = kept;
                i++, j--;
            }
        } while (i <= j);
        const int64_t size = (int64_t)hi - lo + 1;
        if (size > 32 && 16 * ((j - lo < hi - i ? j - lo : hi - i) + (int64_t)1) < size) uneven_left--;
        if (i < hi) sort_quick(values, i, hi, nesting_left - 1, uneven_left);
        if (!(lo < j)) return;
        hi = j;
    }
}

int main(void) {
    int count = 0;
    scanf("%i", &count);
    if (count <= 0) return -1;
    int* values = malloc((size_t)count * sizeof(int));
    if (values == NULL) return -1;
    for (int i = 0; i < count; i++) { int v = 0; scanf("%i", &v); values[i] = v; }
    sort_quick(values, 0, count - 1, -1, 62);
    for (int i = 0; i < count; i++) printf("%i\n", values[i]);
    return 0;
}
