// fib_table: builds the Fibonacci numbers F(0) to F(n) in a table on the
// heap and prints F(n).

#include <cstdint>

#include "suite.hpp"

namespace {

// table[0..n] := F(0)..F(n), sums wrapping modulo 2^32; the two seeds are
// always written, so the table needs room for max(n, 1) + 1 elements.
void fill_fibonacci_table(std::int32_t* table, std::int32_t n) {
    table[0] = 0;
    table[1] = 1;
    for (std::int64_t i = 2; i <= n; ++i) table[i] = suite::wrap_add(table[i - 1], table[i - 2]);
}

}  // namespace

int main() {
    suite::Console io;
    io.print("please enter nr: ");
    const std::int32_t n = io.read_int();

    const std::int64_t element_count = (n >= 2 ? std::int64_t{n} : 2) + 1;
    auto block = suite::allocate_array<std::int32_t>(static_cast<std::uint64_t>(element_count));
    if (!block) {
        io.print("error by memory allocation\n");
        return -1;
    }
    std::int32_t* const table = block.get();
    fill_fibonacci_table(table, n);
    // A negative index has no table element; its line shows 0.
    io.print("the %ith fibonacci number is %i\n", n, n >= 0 ? table[n] : 0);
    block.reset();
    return 0;
}
