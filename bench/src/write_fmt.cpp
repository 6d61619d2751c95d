// write_fmt: write_console with fmt::format_int (the fmt library's headers,
// Debian's libfmt-dev): the same numbers, each formatted into one 64 KiB
// buffer with a line break behind, the buffer written out whenever the next
// number might not fit, as Console does.  The library is used header-only,
// compiled into the program with the same flags as the other printers.
#define FMT_HEADER_ONLY
#include <fmt/format.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "printed_numbers.hpp"

namespace {

char buffer[1 << 16];
std::size_t pending = 0;

void flush() {
    const char* data = buffer;
    while (pending > 0) {
        const ssize_t written = ::write(STDOUT_FILENO, data, pending);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) std::exit(1);
        data += written;
        pending -= static_cast<std::size_t>(written);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const auto count = static_cast<std::int32_t>(std::atol(argv[1]));
    constexpr std::size_t longest_line = 12;  // "-2147483648\n"
    for (std::int32_t i = 0; i < count; ++i) {
        if (sizeof buffer - pending < longest_line) flush();
        const fmt::format_int text(printed_number(i));
        const std::size_t length = std::min(text.size(), longest_line - 1);  // bounded for the compiler
        std::memcpy(buffer + pending, text.data(), length);
        pending += length;
        buffer[pending++] = '\n';
    }
    flush();
    return 0;
}
