// fib_recursive: prints the Fibonacci number F(n), computed by the plain
// double recursion F(n) = F(n - 1) + F(n - 2), with nothing remembered.

#include <sys/resource.h>

#include <cstdint>

#include "suite.hpp"

namespace {

// n itself for n below 2; sums wrap modulo 2^32.
std::int32_t fibonacci_recursive(std::int32_t n) {
    if (n < 2) return n;
    const std::int32_t a = fibonacci_recursive(n - 1);
    const std::int32_t b = fibonacci_recursive(n - 2);
    return suite::wrap_add(a, b);
}

// The same value by a loop, for an n whose chain of calls the stack cannot
// hold.
std::int32_t fibonacci_without_recursion(std::int32_t n) {
    std::int32_t previous = 0;
    std::int32_t current = 1;
    for (std::int32_t step = 0; step < n; ++step) {
        const std::int32_t next = suite::wrap_add(current, previous);
        previous = current;
        current = next;
    }
    return previous;
}

// Whether the stack limit of this process leaves room for the n - 1 nested
// calls of fibonacci_recursive (n).  The estimate per call is generous
// (a call takes well under a hundred bytes, more under a sanitizer), and the
// part of the stack that main, with the console's buffers, and everything
// above it use is set aside first.
bool stack_holds_chain(std::int32_t n) {
    if (n < 2) return true;
    constexpr std::uint64_t bytes_per_call = 512;
    constexpr std::uint64_t set_aside = sizeof(suite::Console) + 128 * 1024;
    // An unlimited stack still ends where memory does: it is taken as 1 GiB,
    // two million calls deep, far more than any chain that ends in time.
    constexpr std::uint64_t unlimited = std::uint64_t{1} << 30;
    rlimit limit{};
    if (::getrlimit(RLIMIT_STACK, &limit) != 0) return false;
    const std::uint64_t stack = limit.rlim_cur == RLIM_INFINITY ? unlimited : limit.rlim_cur;
    if (stack <= set_aside) return false;
    return static_cast<std::uint64_t>(n) <= (stack - set_aside) / bytes_per_call;
}

}  // namespace

int main() {
    suite::Console io;
    io.print("please enter nr: ");
    const std::int32_t n = io.read_int();
    const std::int32_t result = stack_holds_chain(n) ? fibonacci_recursive(n) : fibonacci_without_recursion(n);
    io.print("the %ith fibonacci number is %i\n", n, result);
    return 0;
}
