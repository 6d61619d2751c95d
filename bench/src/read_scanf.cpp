// read_scanf: read_console with the C library's scanf("%i").
#include <cstdint>
#include <cstdio>

#include "suite.hpp"

int main() {
    std::int32_t count = 0;
    if (std::scanf("%i", &count) != 1) return 1;
    std::int32_t sum = 0;
    for (std::int32_t i = 0; i < count; ++i) {
        std::int32_t value = 0;
        if (std::scanf("%i", &value) != 1) return 1;
        sum = suite::wrap_add(sum, value);
    }
    std::printf("%i\n", sum);
    return 0;
}
