/* pipe_writer BYTES: writes BYTES bytes of number lines to standard output
 * from one prebuilt 64 KiB block, the size of Console's output buffer: how
 * fast output can go where it is sent, with no formatting at all. */
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

enum { block_size = 1 << 16 };

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    long long left = atoll(argv[1]);
    static char block[block_size];
    for (int i = 0; i < block_size; ++i) block[i] = (i % 9 == 8) ? '\n' : (char)('0' + i % 9);
    while (left > 0) {
        const size_t size = left < block_size ? (size_t)left : block_size;
        const ssize_t written = write(STDOUT_FILENO, block, size);
        if (written <= 0) return 1;
        left -= written;
    }
    return 0;
}
