// read_floor: the floor of reading numbers.  Reads standard input in 64 KiB
// blocks, the size of Console's input buffer, counts the line breaks of each
// block with memchr and prints the count: every byte moved from the file into
// the buffer and looked at once, with nothing parsed.
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

int main() {
    static char block[1 << 16];
    std::uint64_t lines = 0;
    for (;;) {
        const ssize_t got = ::read(STDIN_FILENO, block, sizeof block);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return 1;
        if (got == 0) break;
        const char* const end = block + got;
        for (const char* at = block; (at = static_cast<const char*>(std::memchr(at, '\n', std::size_t(end - at))));
             ++at) {
            ++lines;
        }
    }
    std::printf("%llu\n", static_cast<unsigned long long>(lines));
    return 0;
}
