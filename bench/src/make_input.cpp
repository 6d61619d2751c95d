// make_input KIND N SEED: a benchmark input on standard output, the same
// bytes for the same arguments on every machine: the count N, then
//   random   N random 32-bit numbers, one per line
//   records  N pairs of a month (1 to 12) and a year (1900 to 2099)
//   matrix   the N * N elements of a, then those of b, a row per line
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "splitmix64.hpp"

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    const long long n = std::atoll(argv[2]);
    SplitMix64 random{std::strtoull(argv[3], nullptr, 10)};
    std::printf("%lld\n", n);
    for (long long i = 1; i <= n && std::strcmp(argv[1], "random") == 0; ++i) std::printf("%i\n", random.any_int());
    for (long long i = 1; i <= n && std::strcmp(argv[1], "records") == 0; ++i) {
        std::printf("%i %i\n", static_cast<int>(1 + random.next() % 12), static_cast<int>(1900 + random.next() % 200));
    }
    for (long long i = 1; i <= 2 * n * n && std::strcmp(argv[1], "matrix") == 0; ++i) {
        std::printf("%i%c", random.any_int(), i % n == 0 ? '\n' : ' ');
    }
    return 0;
}
