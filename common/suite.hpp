// What every program of the suite shares: the C library's reading and
// printing calls, each with the few lines that make it safe to rely on;
// the 32-bit wrap-around arithmetic the programs compute with; and the
// sizing of heap blocks.
//
// suite::scanf, printf, puts and putchar are the C library's calls.  Each
// is inlined into the program, so a program calls scanf, printf, puts and
// putchar just where its source says so.  What they add:
// - A number is read as a long long ("%lli", the same prefixes and signs
//   as "%i") and keeps its low 32 bits, so every machine reads as the
//   x86-64 C library reads "%i" into an int: 4294967297 is 1 everywhere.
//   Beyond the 64-bit range the conversion saturates, as the C library's
//   does: 99999999999999999999 reads as -1.
// - A number that cannot be read is 0, and so is every later one.
// - Output waiting in the buffer is written before a read that may wait
//   (input that is no regular file), so a prompt is on the screen first.
// - A write that failed ends the run with status 255 and one line on
//   standard error, at the latest when main returns, instead of a success
//   with bytes lost.
//
// Built with SUITE_CONSOLE_FAST, the same calls go to suite::Console, a
// console of this project's own that reads and prints at memory speed, for
// timing the programs' algorithms on millions of numbers.
#pragma once

#include <sys/resource.h>
#include <sys/stat.h>
#include <stdio_ext.h>
#include <sys/sysinfo.h>
#include <unistd.h>

#include <algorithm>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <type_traits>

#if SUITE_CONSOLE_FAST
#include "fast_console.hpp"
#endif

namespace suite {

// ---------------------------------------------------------------------------
// 32-bit wrap-around arithmetic: computed in unsigned arithmetic, so that an
// overflow wraps modulo 2^32 instead of being undefined behaviour.

constexpr std::int32_t wrap_add(std::int32_t a, std::int32_t b) noexcept {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

constexpr std::int32_t wrap_sub(std::int32_t a, std::int32_t b) noexcept {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}

constexpr std::int32_t wrap_mul(std::int32_t a, std::int32_t b) noexcept {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) * static_cast<std::uint32_t>(b));
}

// The low 32 bits of a number read as a long long.
constexpr std::int32_t low_32_bits(long long number) noexcept {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<unsigned long long>(number)));
}

// ---------------------------------------------------------------------------
// Heap blocks.

// The most memory this process could ever fill: the machine's memory and
// swap, or less where the process's address-space or data limit says so.
// Linux grants blocks far beyond it and kills the process once it touches
// them, so a block is worth having only within this reach.
inline std::uint64_t memory_within_reach() noexcept {
    std::uint64_t reach = UINT64_MAX;
    struct sysinfo machine {};
    if (::sysinfo(&machine) == 0) {
        reach = (std::uint64_t{machine.totalram} + machine.totalswap) * std::max<std::uint64_t>(machine.mem_unit, 1);
    }
    for (const int resource : {RLIMIT_AS, RLIMIT_DATA}) {
        rlimit limit{};
        if (::getrlimit(resource, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
            reach = std::min<std::uint64_t>(reach, limit.rlim_cur);
        }
    }
    return reach;
}

// The bytes of `count` elements of `size` bytes.  A positive count is
// sized in 64 bits, so that the block holds every element; UINT64_MAX
// stands for any size beyond that.  A count of 0 or below asks for what
// count * size gives in 32-bit unsigned arithmetic: 4294967292 bytes for
// -1 elements of 4, none for -1073741824.
constexpr std::uint64_t block_bytes(std::int64_t count, std::size_t size) noexcept {
    if (count <= 0) return static_cast<std::uint32_t>(count) * static_cast<std::uint32_t>(size);
    const auto elements = static_cast<std::uint64_t>(count);
    return elements > UINT64_MAX / size ? UINT64_MAX : elements * size;
}

// malloc of `bytes`, or null without asking when `blocks` blocks of that
// size, all that the run needs at once, would not fit in memory within
// reach of the process (or in the address space).
inline void* malloc(std::uint64_t bytes, std::uint64_t blocks = 1) noexcept {
    if (bytes > SIZE_MAX || bytes > memory_within_reach() / blocks) return nullptr;
    return std::malloc(static_cast<std::size_t>(bytes));
}

// ---------------------------------------------------------------------------
// Formats checked while compiling: printf's has one "%i" for each number
// printed and no other conversion; scanf's is "%i" once for each number.

template <std::size_t Count>
struct PrintFormat {
    template <std::size_t N>
    consteval PrintFormat(const char (&format)[N]) : text(format) {  // NOLINT: converts from a literal by design
        std::size_t conversions = 0;
        for (std::size_t i = 0; i + 1 < N; ++i) {
            if (format[i] != '%') continue;
            if (format[i + 1] != 'i') not_a_format_of_numbers();
            ++conversions;
            ++i;
        }
        if (conversions != Count) not_a_format_of_numbers();
    }
    static void not_a_format_of_numbers() {}  // not constexpr: a call stops compilation

    const char* text;
};

template <std::size_t Count>
struct ScanFormat {
    template <std::size_t N>
    consteval ScanFormat(const char (&format)[N]) {  // NOLINT: converts from a literal by design
        if (N != 2 * Count + 1) not_a_format_of_numbers();
        for (std::size_t i = 0; i < 2 * Count; i += 2) {
            if (format[i] != '%' || format[i + 1] != 'i') not_a_format_of_numbers();
        }
    }
    static void not_a_format_of_numbers() {}  // not constexpr: a call stops compilation
};

#if SUITE_CONSOLE_FAST

// ---------------------------------------------------------------------------
// The fast console, one for the run: created at the first call, and
// flushed, with its unread input given back, when the process exits.

inline Console& console() noexcept {
    static Console io;
    return io;
}

[[gnu::always_inline]] inline void scanf(ScanFormat<1> /*"%i"*/, std::int32_t* number) noexcept {
    *number = console().read_int();
}

[[gnu::always_inline]] inline void scanf(ScanFormat<2> /*"%i%i"*/, std::int32_t* first,
                                         std::int32_t* second) noexcept {
    Console& io = console();
    *first = io.read_int();
    *second = io.read_int();
}

template <std::same_as<std::int32_t>... Ints>
[[gnu::always_inline]] inline void printf(std::type_identity_t<Format<sizeof...(Ints)>> format,
                                          Ints... numbers) noexcept {
    console().print(format, numbers...);
}

template <std::size_t N>
[[gnu::always_inline]] inline void puts(const char (&text)[N]) noexcept {
    console().write(std::string_view(text, N - 1));
    console().write("\n");
}

[[gnu::always_inline]] inline void putchar(char c) noexcept { console().write(std::string_view(&c, 1)); }

#else

// ---------------------------------------------------------------------------
// The C library's streams.

namespace streams {

[[noreturn]] inline void writing_failed() noexcept {
    std::fputs("error: writing to standard output failed\n", stderr);
    // Unread input of a file goes back to it, as at a normal exit.
    std::fflush(stdin);
    ::_exit(255);
}

inline void check_output() noexcept {
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) writing_failed();
}

// What the reading knows of standard input.  Made at the first read; when
// the process exits, its destructor writes what is still waiting and
// checks that every write succeeded.
struct Input {
    Input() noexcept {
        struct stat input {};
        may_wait = ::fstat(STDIN_FILENO, &input) != 0 || !(S_ISREG(input.st_mode) || S_ISBLK(input.st_mode));
    }
    // Where input and output are one open file ("program <> file >&0"),
    // the output moves the offset the C library gives unread input back
    // from: it is given back where the reading stopped instead.
    ~Input() {
        const off_t unread = ::ftello(stdin);  // -1 for a pipe or a terminal
        check_output();
        if (unread >= 0 && ::lseek(STDIN_FILENO, 0, SEEK_CUR) != unread) {
            ::__fpurge(stdin);
            ::lseek(STDIN_FILENO, unread, SEEK_SET);
        }
    }
    Input(const Input&) = delete;
    Input& operator=(const Input&) = delete;

    bool may_wait = true;  // a terminal, a pipe, a socket: the output goes first
    bool failed = false;   // a number could not be read: every later one is 0
};

inline Input& input() noexcept {
    static Input state;
    return state;
}

}  // namespace streams

[[gnu::always_inline]] inline void scanf(ScanFormat<1> /*"%i"*/, std::int32_t* number) noexcept {
    streams::Input& input = streams::input();
    if (input.may_wait) streams::check_output();
    long long wide = 0;
    input.failed = input.failed || std::scanf("%lli", &wide) != 1;
    *number = input.failed ? 0 : low_32_bits(wide);
}

[[gnu::always_inline]] inline void scanf(ScanFormat<2> /*"%i%i"*/, std::int32_t* first,
                                         std::int32_t* second) noexcept {
    streams::Input& input = streams::input();
    if (input.may_wait) streams::check_output();
    long long wide[2] = {0, 0};
    const int converted = input.failed ? 0 : std::scanf("%lli%lli", &wide[0], &wide[1]);
    *first = converted >= 1 ? low_32_bits(wide[0]) : 0;
    *second = converted == 2 ? low_32_bits(wide[1]) : 0;
    input.failed = converted != 2;
}

// The format is a literal that PrintFormat has checked.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
template <std::same_as<std::int32_t>... Ints>
[[gnu::always_inline]] inline void printf(std::type_identity_t<PrintFormat<sizeof...(Ints)>> format,
                                          Ints... numbers) noexcept {
    std::printf(format.text, numbers...);
}
#pragma GCC diagnostic pop

[[gnu::always_inline]] inline void puts(const char* text) noexcept { std::puts(text); }

[[gnu::always_inline]] inline void putchar(char c) noexcept { std::putchar(c); }

#endif

}  // namespace suite
