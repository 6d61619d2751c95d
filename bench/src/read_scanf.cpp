// read_scanf: read_console with the C library's scanf("%i").
#include <cstdint>
#include <cstdio>

int main() {
    std::int32_t count = 0;
    if (std::scanf("%i", &count) != 1) return 1;
    std::uint32_t sum = 0;  // wraps modulo 2^32
    for (std::int32_t i = 0; i < count; ++i) {
        std::int32_t value = 0;
        if (std::scanf("%i", &value) != 1) return 1;
        sum += static_cast<std::uint32_t>(value);
    }
    std::printf("%i\n", static_cast<std::int32_t>(sum));
    return 0;
}
