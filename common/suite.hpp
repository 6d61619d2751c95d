// The few lines every program of the suite shares besides the C library's
// calls, which each program makes itself: 32-bit wrap-around arithmetic,
// the size to ask malloc for a block that memory can hold, and the check of
// the standard streams when the program ends.
#pragma once

#include <stdio_ext.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysinfo.h>
#include <unistd.h>
#ifdef SYS_kcmp
#include <linux/kcmp.h>
#endif

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace suite {

// Sums, differences and products of 32-bit numbers wrap modulo 2^32: they
// are taken in unsigned arithmetic, where signed overflow would be
// undefined.  Inlined at every level, also without optimisation.
[[gnu::always_inline]] inline std::int32_t wrap_add(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

[[gnu::always_inline]] inline std::int32_t wrap_sub(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}

[[gnu::always_inline]] inline std::int32_t wrap_mul(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) * static_cast<std::uint32_t>(b));
}

// The most memory this process could ever fill: the machine's memory and
// swap, or less where its address-space or data limit (ulimit -v, -d) says
// so.  Linux grants blocks far beyond it and kills the process once it
// touches them.
[[gnu::always_inline]] inline std::uint64_t memory_within_reach() {
    std::uint64_t reach = UINT64_MAX;
    struct sysinfo machine {};
    if (::sysinfo(&machine) == 0) {
        reach = (std::uint64_t{machine.totalram} + machine.totalswap) * (machine.mem_unit == 0 ? 1 : machine.mem_unit);
    }
    rlimit limit{};
    if (::getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < reach) {
        reach = limit.rlim_cur;
    }
    if (::getrlimit(RLIMIT_DATA, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < reach) {
        reach = limit.rlim_cur;
    }
    return reach;
}

// The bytes to ask malloc for, for a block of `count` elements of `size`
// bytes, of which the run needs `blocks` at once.  A positive count is
// sized in 64 bits, so that the block holds every element; a count of 0 or
// below gets count * size in 32-bit unsigned arithmetic (4294967292 bytes
// for -1 elements of 4, none for -1073741824).  Blocks that would not fit
// in the memory within reach get SIZE_MAX, which malloc refuses.  Never
// inlined: the compiler sees no constant it could warn malloc gets.
[[gnu::noinline]] inline std::size_t block_bytes(std::int64_t count, std::size_t size, std::uint64_t blocks = 1) {
    const auto elements = static_cast<std::uint64_t>(count);
    const std::uint64_t bytes = count <= 0 ? static_cast<std::uint32_t>(count) * static_cast<std::uint32_t>(size)
                                : elements > UINT64_MAX / size ? UINT64_MAX
                                                               : elements * size;
    if (bytes > SIZE_MAX || bytes > memory_within_reach() / blocks) return SIZE_MAX;
    return static_cast<std::size_t>(bytes);
}

// When the program ends, after main and before the C library's own
// clean-up: output that could not be written (a full disk, a closed
// descriptor), or input that could not be read (EIO, EAGAIN on an input
// left non-blocking: not its end), ends the run with status 255 and one
// line on standard error instead of a success.  Unread input of a file
// goes back to it for the next reader, as the C library does at exit, also
// where the output goes into the same file opened a second time ("< file
// >> file", "< file 1<> file"), which has an offset of its own.  Not where
// standard input and output are one open file, one offset ("program <>
// file >&0"): the offset the C library would move back lies behind the
// output.  Whether input is left unread and output was written, the C
// library's streams tell by their buffers; only then are the files
// compared, and only for the same file is the kernel asked whether the two
// descriptors share one open file.  Where it refuses to tell (a filter of
// system calls, an emulator without the call), moving the input's offset
// shows whether the output's moves with it; where even that fails, the
// output is kept.
[[gnu::destructor]] static void check_standard_streams() {
    const bool written = std::fflush(stdout) == 0 && !ferror_unlocked(stdout);
    const bool read = !ferror_unlocked(stdin);
    const auto one_open_file = [] {
#ifdef SYS_kcmp
        const long order = ::syscall(SYS_kcmp, ::getpid(), ::getpid(), KCMP_FILE, STDIN_FILENO, STDOUT_FILENO);
        if (order >= 0) return order == 0;
#endif
        const off_t input_at = ::lseek(STDIN_FILENO, 0, SEEK_CUR);
        const off_t output_at = ::lseek(STDOUT_FILENO, 0, SEEK_CUR);
        if (input_at < 0 || output_at < 0) return true;
        if (input_at != output_at) return false;
        if (::lseek(STDIN_FILENO, input_at + 1, SEEK_SET) != input_at + 1) return true;
        const bool moved = ::lseek(STDOUT_FILENO, 0, SEEK_CUR) == input_at + 1;
        ::lseek(STDIN_FILENO, input_at, SEEK_SET);
        return moved;
    };
    struct stat input {};
    struct stat output {};
    if (stdin->_IO_read_ptr != stdin->_IO_read_end && stdout->_IO_buf_base != nullptr &&
        ::fstat(STDIN_FILENO, &input) == 0 && ::fstat(STDOUT_FILENO, &output) == 0 && S_ISREG(input.st_mode) &&
        input.st_dev == output.st_dev && input.st_ino == output.st_ino && one_open_file()) {
        __fpurge(stdin);
    }
    if (written && read) return;
    dprintf(STDERR_FILENO, "error: %s\n", written ? "reading standard input failed" : "writing to standard output failed");
    std::fflush(stdin);
    ::_exit(255);
}

}  // namespace suite
