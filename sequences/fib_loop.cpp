// fib_loop: prints the Fibonacci number F(n), computed in a loop over two
// running values.

#include <cstdint>

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
    std::int32_t n;

    suite::printf("please enter nr: ");
    suite::scanf("%i", &n);
    suite::printf("the %ith fibonacci number is %i\n", n, fibonacci_iterative(n));
    return 0;
}
