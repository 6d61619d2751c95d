// count_down_up_direct: count_down_up written straight against the C
// library, without the suite's header: n read with scanf("%lli") into a
// long long that keeps its low 32 bits, the same two loops of
// printf("%i\n").  Built like count_down_up_b2, it shows what the header's
// few lines around each call cost.
#include <cstdint>
#include <cstdio>

int main() {
    long long wide = 0;
    std::scanf("%lli", &wide);
    const auto n = static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<unsigned long long>(wide)));
    if (n <= 0) return -1;

    std::int32_t i = n - 1;
    while (i >= 0) {
        std::printf("%i\n", i);
        i--;
    }
    std::printf("%i\n", n);
    std::int32_t j = 0;
    while (j < n) {
        std::printf("%i\n", j);
        j++;
    }
    return 0;
}
