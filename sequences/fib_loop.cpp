// fib_loop: prints the Fibonacci number F(n), computed in a loop over two
// running values.

#include <cstdint>
#include <cstdio>

#include "suite.hpp"

namespace {

// F(n) modulo 2^32 after n steps; 0 for a negative n.
std::int32_t fibonacci_iterative(std::int32_t n) {
    std::int32_t previous = 0;  // F(step)
    std::int32_t current = 1;   // F(step + 1)
    std::int32_t step = 0;
    while (step < n) {
        const std::int32_t next = suite::wrap_add(current, previous);
        previous = current;
        current = next;
        step++;
    }
    return previous;
}

}  // namespace

int main() {
    std::int32_t n = 0;  // a number that cannot be read leaves 0

    std::printf("please enter nr: ");
    std::scanf("%i", &n);
    std::printf("the %ith fibonacci number is %i\n", n, fibonacci_iterative(n));
    return 0;
}
