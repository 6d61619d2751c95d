// make_input: writes the benchmark inputs to standard output, the same bytes
// for the same arguments on every machine.
//
//   make_input random  N SEED [plain]  the count N, then N random 32-bit
//                                      numbers, one per line ("plain": the
//                                      numbers only, without the count)
//   make_input records N SEED          the count N, then N pairs of a month
//                                      (1 to 12) and a year
//   make_input matrix  D SEED          the dimension D, then the D * D
//                                      elements of a and those of b
//   make_input killer  N               the count N, then a permutation of
//                                      0 .. N - 1 on which the partition
//                                      around the middle element's value
//                                      splits off one element at a time
//
// The random numbers come from splitmix64.hpp, shared with the baselines
// that make the same numbers in memory.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fast_console.hpp"
#include "splitmix64.hpp"

namespace {

[[noreturn]] void usage() {
    std::fputs("usage: make_input random N SEED [plain] | records N SEED | matrix D SEED | killer N\n", stderr);
    std::exit(2);
}

std::int32_t parse_count(const char* text) {
    char* end = nullptr;
    const long long value = std::strtoll(text, &end, 10);
    if (*end != '\0' || value < 1 || value > INT32_MAX) usage();
    return static_cast<std::int32_t>(value);
}

// The adversary of the partition around the middle element's value
// (quick_sort's): every round the element in the middle of the range is
// made the smallest one left, so the partition moves it to the front of the
// range, exchanging it with the element there, and leaves all the others in
// the second part.  Following those exchanges on element numbers instead of
// values gives, in one linear pass, the value each starting position must
// hold.
std::vector<std::int32_t> killer_permutation(std::int32_t n) {
    std::vector<std::int32_t> at_block(static_cast<std::size_t>(n));
    std::vector<std::int32_t> value_block(static_cast<std::size_t>(n));
    std::int32_t* const at = at_block.data();        // element at a position
    std::int32_t* const value = value_block.data();  // value of an element
    for (std::int32_t p = 0; p < n; ++p) at[p] = p;
    const std::int64_t hi = n - 1;
    for (std::int64_t lo = 0; lo < n; ++lo) {
        const std::int64_t middle = (lo + hi) / 2;
        value[at[middle]] = static_cast<std::int32_t>(lo);
        const std::int32_t moved = at[lo];
        at[lo] = at[middle];
        at[middle] = moved;
    }
    return value_block;
}

// What one partition round of quick_sort does to the range lo..hi of
// `values`: the comparisons it makes and the parts it leaves.
struct Round {
    std::uint64_t comparisons = 0;
    std::int64_t left_end = 0;     // lo .. left_end is the first part
    std::int64_t right_start = 0;  // right_start .. hi the second
};

Round partition(std::int32_t* values, std::int64_t lo, std::int64_t hi) {
    Round round;
    const std::int32_t pivot = values[(lo + hi) / 2];
    std::int64_t i = lo;
    std::int64_t j = hi;
    do {
        while (++round.comparisons, values[i] < pivot && i < hi) ++i;
        while (++round.comparisons, pivot < values[j] && j > lo) --j;
        if (i <= j) {
            const std::int32_t kept = values[i];
            values[i] = values[j];
            values[j] = kept;
            ++i;
            --j;
        }
    } while (i <= j);
    round.left_end = j;
    round.right_start = i;
    return round;
}

// Replays the first `rounds` partitions on a copy of the permutation and
// stops unless each one split off at most one element.  Every round scans
// its whole range, so the n rounds of a full sort make about n^2 / 2
// comparisons; the ones replayed show it.
void check_killer(const std::int32_t* permutation, std::int32_t n, std::int64_t rounds) {
    std::vector<std::int32_t> values(permutation, permutation + n);
    std::int64_t lo = 0;
    const std::int64_t hi = n - 1;
    std::uint64_t comparisons = 0;
    std::int64_t replayed = 0;
    for (; replayed < rounds && lo < hi; ++replayed) {
        const Round round = partition(values.data(), lo, hi);
        comparisons += round.comparisons;
        const std::int64_t smaller = round.left_end - lo + 1;
        if (smaller > 1 || round.right_start != lo + 1) {
            std::fprintf(stderr, "make_input: round %lld split off %lld elements, not one\n",
                         static_cast<long long>(replayed), static_cast<long long>(smaller));
            std::exit(1);
        }
        lo = round.right_start;
    }
    const double scanned = double(replayed) * double(n) - 0.5 * double(replayed) * double(replayed - 1);
    std::fprintf(stderr,
                 "make_input: killer of %d: %lld partitions replayed, each split off one element, "
                 "with %llu comparisons (%.2f per element of their ranges); the whole sort makes "
                 "%d partitions and about %.3g comparisons\n",
                 n, static_cast<long long>(replayed), static_cast<unsigned long long>(comparisons),
                 double(comparisons) / scanned, n - 1, 0.5 * double(n) * double(n));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) usage();
    const char* const kind = argv[1];
    const std::int32_t n = parse_count(argv[2]);
    suite::Console io;

    if (std::strcmp(kind, "killer") == 0) {
        const std::vector<std::int32_t> block = killer_permutation(n);
        const std::int32_t* const permutation = block.data();
        check_killer(permutation, n, n <= 20000 ? n : 200);
        io.print("%i\n", n);
        for (std::int32_t p = 0; p < n; ++p) io.print("%i\n", permutation[p]);
        return 0;
    }

    if (argc < 4) usage();
    SplitMix64 random(std::strtoull(argv[3], nullptr, 10));
    if (std::strcmp(kind, "random") == 0) {
        if (argc < 5 || std::strcmp(argv[4], "plain") != 0) io.print("%i\n", n);
        for (std::int32_t i = 0; i < n; ++i) io.print("%i\n", random.any_int());
    } else if (std::strcmp(kind, "records") == 0) {
        io.print("%i\n", n);
        for (std::int32_t i = 0; i < n; ++i) io.print("%i %i\n", random.between(1, 12), random.between(1900, 2099));
    } else if (std::strcmp(kind, "matrix") == 0) {
        io.print("%i\n", n);
        const std::int64_t cells = 2 * std::int64_t{n} * n;
        for (std::int64_t i = 1; i <= cells; ++i) {
            if (i % n == 0) {
                io.print("%i\n", random.any_int());
            } else {
                io.print("%i ", random.any_int());
            }
        }
    } else {
        usage();
    }
    return 0;
}
