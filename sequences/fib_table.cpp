// fib_table: builds the Fibonacci numbers F(0) to F(n) in a table on the
// heap and prints F(n).

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "suite.hpp"

namespace {

// table[0..n] := F(0)..F(n), sums wrapping modulo 2^32; the two seeds are
// always written, so the table needs room for max(n, 1) + 1 elements.
void fill_fibonacci_table(std::int32_t* table, std::int32_t n) {
    table[0] = 0;
    table[1] = 1;
    // The index counts in 64 bits: it passes n, which may be 2147483647.
    for (std::int64_t i = 2; i <= n; i++) table[i] = suite::wrap_add(table[i - 1], table[i - 2]);
}

}  // namespace

int main() {
    std::int32_t n = 0;  // a number that cannot be read leaves 0

    std::printf("please enter nr: ");
    std::scanf("%i", &n);
    const std::int32_t count = n >= 2 ? n : 2;
    // Sized in 64 bits, so that the table holds F(n) for every n; malloc
    // refuses a table that memory cannot hold.
    auto* table = static_cast<std::int32_t*>(std::malloc(suite::block_bytes(std::int64_t{count} + 1, 4)));
    if (table == nullptr) {
        std::printf("error by memory allocation\n");
        return -1;
    }
    fill_fibonacci_table(table, n);
    // A negative n has no element in the table: its line shows 0.
    std::printf("the %ith fibonacci number is %i\n", n, n >= 0 ? table[n] : 0);
    std::free(table);
    return 0;
}
