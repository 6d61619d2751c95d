// fib_recursive: prints the Fibonacci number F(n), computed by the plain
// double recursion F(n) = F(n - 1) + F(n - 2), with nothing remembered.

#include <sys/resource.h>

#include <cstdint>
#include <cstdio>

#include "suite.hpp"

namespace {

// n itself for n below 2; sums wrap modulo 2^32.
std::int32_t fibonacci_recursive(std::int32_t n) {
    if (n < 2) return n;
    const std::int32_t a = fibonacci_recursive(n - 1);
    const std::int32_t b = fibonacci_recursive(n - 2);
    return suite::wrap_add(a, b);
}

// For an n whose chain of calls the stack cannot hold: the same value by
// fast doubling.  From F(k) and F(k + 1), F(2k) = F(k) (2 F(k + 1) - F(k))
// and F(2k + 1) = F(k)^2 + F(k + 1)^2, one bit of n at a time from the top
// (a leading 0 bit leaves F(0) and F(1) as they are); every step is exact
// modulo 2^32, so the value is the one the recursion would give.
std::int32_t fibonacci_by_doubling(std::int32_t n) {
    std::uint32_t current = 0;  // F(k), k being the bits of n taken so far
    std::uint32_t next = 1;     // F(k + 1)
    const auto bits = static_cast<std::uint32_t>(n);
    for (int bit = 30; bit >= 0; bit--) {
        const std::uint32_t doubled = current * (2 * next - current);
        const std::uint32_t doubled_next = current * current + next * next;
        current = (bits >> bit) & 1U ? doubled_next : doubled;
        next = (bits >> bit) & 1U ? doubled + doubled_next : doubled_next;
    }
    return static_cast<std::int32_t>(current);
}

// For the same: whether the stack can hold the n - 1 nested calls of
// fibonacci_recursive (n).  The stack ends at its limit and where the
// memory within reach of the process ends, whichever comes first; only half
// of that memory is counted on.  An unlimited stack is taken as 32 MiB,
// about 65,000 calls deep: a longer chain means more than 1.6^65000 calls,
// which no run would ever finish.  512 bytes a call is generous (well under
// a hundred on every machine, more under a sanitizer), and 128 KiB are set
// aside for main and the C library.
bool stack_holds_chain(std::int32_t n) {
    if (n < 2) return true;
    constexpr std::uint64_t bytes_per_call = 512;
    constexpr std::uint64_t set_aside = 128 * 1024;
    constexpr std::uint64_t unlimited = std::uint64_t{32} << 20;
    rlimit limit{};
    if (::getrlimit(RLIMIT_STACK, &limit) != 0) return false;
    std::uint64_t stack = limit.rlim_cur == RLIM_INFINITY ? unlimited : limit.rlim_cur;
    const std::uint64_t half_the_memory = suite::memory_within_reach() / 2;
    if (half_the_memory < stack) stack = half_the_memory;
    if (stack <= set_aside) return false;
    return static_cast<std::uint64_t>(n) <= (stack - set_aside) / bytes_per_call;
}

}  // namespace

int main() {
    std::int32_t n = 0;  // a number that cannot be read leaves 0

    std::printf("please enter nr: ");
    std::scanf("%i", &n);
    std::printf("the %ith fibonacci number is %i\n", n,
                stack_holds_chain(n) ? fibonacci_recursive(n) : fibonacci_by_doubling(n));
    return 0;
}
