// Built into quick_sort for the tests only (quick_sort_probe): how many
// ranges the sort finished by heap sort and how deep its calls nested,
// reported on standard error when the program ends.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace probe {

inline std::int64_t heap_sort_fallbacks = 0;
inline std::int32_t nesting = 0;
inline std::int32_t deepest = 0;

// One call of sort_quick while it lasts.
struct Nesting {
    Nesting() { deepest = std::max(deepest, ++nesting); }
    ~Nesting() { --nesting; }
    Nesting(const Nesting&) = delete;
    Nesting& operator=(const Nesting&) = delete;
};

[[gnu::destructor]] inline void report() {
    std::fprintf(stderr, "heap sort fallbacks: %lld, deepest nesting: %d\n",
                 static_cast<long long>(heap_sort_fallbacks), deepest);
}

}  // namespace probe
