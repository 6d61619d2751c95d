#include <stdbool.h>
#include <stdint.h>
#include <stdio.h>
#include <sys/resource.h>
#include <sys/sysinfo.h>

static int fibonacci_recursive(int n) {
    if (n < 2) return n;
    const int a = fibonacci_recursive(n - 1);
    const int b = fibonacci_recursive(n - 2);
    return (int)((unsigned)a + (unsigned)b);
}

static int fibonacci_by_doubling(int n) {
    uint32_t current = 0, next = 1;
    const uint32_t bits = (uint32_t)n;
    for (int bit = 30; bit >= 0; bit--) {
        const uint32_t doubled = current * (2 * next - current);
        const uint32_t doubled_next = current * current + next * next;
        current = (bits >> bit) & 1U ? doubled_next : doubled;
        next = (bits >> bit) & 1U ? doubled + doubled_next : doubled_next;
    }
    return (int)current;
}

static bool stack_holds_chain(int n) {
    if (n < 2) return true;
    const uint64_t bytes_per_call = 512, set_aside = 128 * 1024, unlimited = (uint64_t)32 << 20;
    struct rlimit limit = {0};
    if (getrlimit(RLIMIT_STACK, &limit) != 0) return false;
    uint64_t stack = limit.rlim_cur == RLIM_INFINITY ? unlimited : limit.rlim_cur;
    uint64_t reach = UINT64_MAX; /* the memory within reach, as the C++ inlines it */
    struct sysinfo machine = {0};
    if (sysinfo(&machine) == 0) {
        reach = ((uint64_t)machine.totalram + machine.totalswap) * (machine.mem_unit == 0 ? 1 : machine.mem_unit);
    }
    if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < reach) reach = limit.rlim_cur;
    if (getrlimit(RLIMIT_DATA, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < reach) reach = limit.rlim_cur;
    const uint64_t half_the_memory = reach / 2;
    if (half_the_memory < stack) stack = half_the_memory;
    if (stack <= set_aside) return false;
    return (uint64_t)n <= (stack - set_aside) / bytes_per_call;
}

int main(void) {
    int n = 0;
    printf("please enter nr: ");
    scanf("%i", &n);
    printf("the %ith fibonacci number is %i\n", n, stack_holds_chain(n) ? fibonacci_recursive(n) : fibonacci_by_doubling(n));
    return 0;
}
