// write_floor FILE [copy]: the floors of printing.  Maps FILE, the bytes a
// printer produces already formatted, and writes it to standard output in
// 64 KiB pieces, the size of Console's output buffer.
//
// A write into /dev/null returns at once and nothing ever reads its bytes, so
// there the plain run does not touch the mapped pages at all: it measures the
// system calls alone.  With "copy" every piece is first copied into one
// 64 KiB buffer and written from there, as a printer stores what it formats
// into its buffer: each byte is read once and stored once.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>

namespace {

bool write_all(const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(STDOUT_FILENO, data, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const bool copy = argc == 3 && std::strcmp(argv[2], "copy") == 0;
    if (argc != 2 && !copy) return 2;
    const int fd = ::open(argv[1], O_RDONLY);
    struct stat file {};
    if (fd < 0 || ::fstat(fd, &file) != 0 || file.st_size <= 0) return 1;
    const auto size = static_cast<std::size_t>(file.st_size);
    // The copy reads every page, so its mapping is filled at once, which
    // costs less system time than a fault every few pages.
    void* const mapped = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | (copy ? MAP_POPULATE : 0), fd, 0);
    if (mapped == MAP_FAILED) return 1;
    const char* const bytes = static_cast<const char*>(mapped);
    static char buffer[1 << 16];
    for (std::size_t done = 0; done < size;) {
        const std::size_t piece = size - done < sizeof buffer ? size - done : sizeof buffer;
        const char* from = bytes + done;
        if (copy) {
            std::memcpy(buffer, from, piece);
            from = buffer;
        }
        if (!write_all(from, piece)) return 1;
        done += piece;
    }
    return 0;
}
