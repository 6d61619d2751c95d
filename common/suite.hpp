// Console input and output shared by every program of the suite, and the
// 32-bit wrap-around arithmetic the programs compute with.
//
// Reading follows the rules of the C library's "%i" conversion; printing
// produces the bytes printf("%i") would, but both run at memory speed:
// input is taken from the descriptor in large blocks and output goes out
// through one buffer.  The module pulls in nothing from the C++ runtime
// library, so a program built on it starts like a plain C program.
#pragma once

#include <poll.h>
#include <sys/resource.h>
#include <sys/sysinfo.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>
#include <type_traits>

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

// ---------------------------------------------------------------------------
// Heap blocks from malloc, released with free when their owner goes away.

struct FreeDeleter {
    void operator()(void* block) const noexcept { std::free(block); }
};

template <class T>
using HeapArray = std::unique_ptr<T[], FreeDeleter>;

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

// `Blocks` blocks of `count` elements each, all that a run needs at once,
// or none: they are refused together when they would not fit in memory
// within reach, or when malloc refuses one.  Sizes are computed in 64 bits,
// so a block never holds fewer than `count` elements.
template <class T, std::size_t Blocks>
requires std::is_trivially_copyable_v<T> std::array<HeapArray<T>, Blocks> allocate_arrays(std::uint64_t count)
noexcept {
    std::array<HeapArray<T>, Blocks> blocks;
    if (count > SIZE_MAX / sizeof(T) || count > memory_within_reach() / sizeof(T) / Blocks) return blocks;
    const std::size_t bytes = static_cast<std::size_t>(count) * sizeof(T);
    for (HeapArray<T>& block : blocks) {
        block.reset(static_cast<T*>(std::malloc(bytes == 0 ? 1 : bytes)));
        if (!block) return {};
    }
    return blocks;
}

// One block of `count` elements, or null, as above.
template <class T>
HeapArray<T> allocate_array(std::uint64_t count) noexcept {
    return std::move(allocate_arrays<T, 1>(count)[0]);
}

// ---------------------------------------------------------------------------
// A printf-style format checked while compiling: the text with one "%i" for
// each number printed.  Any other '%' is an error, and so is a count of "%i"
// that differs from the count of numbers given.

template <std::size_t Count>
class Format {
public:
    template <std::size_t N>
    consteval Format(const char (&text)[N]) {  // NOLINT: converts from a literal by design
        std::size_t piece = 0;
        std::size_t start = 0;
        for (std::size_t i = 0; i + 1 < N; ++i) {
            if (text[i] != '%') continue;
            if (text[i + 1] != 'i' || piece == Count) format_does_not_match_arguments();
            pieces_[piece++] = std::string_view(text + start, i - start);
            start = i + 2;
            ++i;
        }
        if (piece != Count) format_does_not_match_arguments();
        pieces_[Count] = std::string_view(text + start, N - 1 - start);
    }

    constexpr std::string_view piece(std::size_t index) const noexcept { return pieces_[index]; }

private:
    static void format_does_not_match_arguments() {}  // not constexpr: a call stops compilation

    std::string_view pieces_[Count + 1]{};
};

// ---------------------------------------------------------------------------
// The console: standard input read as "%i" numbers, standard output written
// through one buffer.
//
// Whatever is pending on the output is written before any read of the input
// that may block, so a prompt is always visible before the program waits.
// A write that fails ends the process at once with status 255 and one line
// on standard error; the destructor writes what is still pending.

class Console {
public:
    explicit Console(int input_fd = STDIN_FILENO, int output_fd = STDOUT_FILENO) noexcept
        : input_fd_(input_fd), output_fd_(output_fd) {
        // The buffers come from the heap, so that a program needs next to
        // no stack; should the heap refuse them, small ones inside the
        // console serve instead.
        input_block_ = allocate_array<unsigned char>(block_capacity + 1);
        output_block_ = allocate_array<char>(block_capacity);
        if (input_block_ && output_block_) {
            input_ = input_block_.get();
            output_ = output_block_.get();
            capacity_ = block_capacity;
        }
        next_ = end_ = input_;
        input_[0] = '\0';
    }
    ~Console() {
        give_back_unread_input();
        flush();
    }
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    // One number by the rules of "%i": leading white space skipped, an
    // optional sign, then "0x" or "0X" and hexadecimal digits, another
    // leading 0 and octal digits, or decimal digits.  The longest run of
    // digits valid for the base is taken and reduced modulo 2^32.  When no
    // number can be read (end of input, a character that cannot start a
    // number, a sign without a digit) the result is 0, and so is every
    // later result: the input counts as exhausted.
    std::int32_t read_int() noexcept {
        if (exhausted_ || !skip_white_space()) return fail();
        bool negative = false;
        if (*next_ == '+' || *next_ == '-') {
            negative = *next_ == '-';
            ++next_;
            if (!available()) return fail();
        }
        std::uint32_t value = 0;
        if (*next_ == '0') {
            ++next_;
            if (available() && (*next_ == 'x' || *next_ == 'X')) {
                ++next_;
                value = take_digits<16>();
            } else {
                value = take_digits<8>();
            }
        } else if (digit_value(*next_) < 10) {
            value = take_digits<10>();
        } else {
            return fail();
        }
        return static_cast<std::int32_t>(negative ? 0U - value : value);
    }

    // True once a number could not be read.
    bool exhausted() const noexcept { return exhausted_; }

    // printf of `format` with "%i" replaced by the numbers, in order.
    template <std::same_as<std::int32_t>... Ints>
    void print(std::type_identity_t<Format<sizeof...(Ints)>> format, Ints... numbers) noexcept {
        std::size_t index = 0;
        ((put_text(format.piece(index++)), put_number(numbers)), ...);
        put_text(format.piece(index));
    }

    // Room for `size` bytes (at most 256) straight in the output buffer, for
    // code that formats in place; commit() then keeps the first bytes
    // written there.
    char* reserve(std::size_t size) noexcept {
        if (capacity_ - pending_ < size) flush();
        return output_ + pending_;
    }
    void commit(std::size_t length) noexcept { pending_ += length; }

    // Writes everything pending on the output.
    void flush() noexcept {
        const char* data = output_;
        while (pending_ > 0) {
            const ssize_t written = ::write(output_fd_, data, pending_);
            if (written > 0) {
                data += written;
                pending_ -= static_cast<std::size_t>(written);
            } else if (written < 0 && errno == EAGAIN) {
                wait_for(output_fd_, POLLOUT);
            } else if (written == 0 || errno != EINTR) {
                writing_failed();
            }
        }
    }

private:
    static constexpr std::size_t block_capacity = std::size_t{1} << 16;
    static constexpr std::size_t spare_capacity = 256;
    static constexpr std::size_t longest_number = 11;  // "-2147483648"

    static constexpr unsigned digit_value(unsigned char c) noexcept {
        const unsigned decimal = static_cast<unsigned>(c) - '0';
        if (decimal < 10) return decimal;
        const unsigned letter = (static_cast<unsigned>(c) | 0x20U) - 'a';
        return letter < 6 ? letter + 10 : 16;
    }

    static constexpr bool is_white_space(unsigned char c) noexcept { return c == ' ' || (c >= '\t' && c <= '\r'); }

    // The input buffer always ends in a '\0' that no rule accepts, so the
    // scanning loops below need no bounds check: they stop at the end and
    // then ask for more.
    bool available() noexcept { return next_ != end_ || refill(); }

    bool skip_white_space() noexcept {
        for (;;) {
            while (is_white_space(*next_)) ++next_;
            if (next_ != end_) return true;
            if (!refill()) return false;
        }
    }

    template <unsigned Base>
    std::uint32_t take_digits() noexcept {
        std::uint32_t value = 0;
        for (;;) {
            for (unsigned digit; (digit = digit_value(*next_)) < Base; ++next_) {
                value = value * Base + digit;
            }
            if (next_ != end_ || !refill()) return value;
        }
    }

    std::int32_t fail() noexcept {
        exhausted_ = true;
        return 0;
    }

    bool refill() noexcept {
        if (at_end_) return false;
        flush();
        ssize_t got;
        while ((got = ::read(input_fd_, input_, capacity_)) < 0) {
            if (errno == EAGAIN) {
                wait_for(input_fd_, POLLIN);
            } else if (errno != EINTR) {
                break;
            }
        }
        if (got <= 0) {
            at_end_ = true;
            got = 0;
        }
        next_ = input_;
        end_ = input_ + got;
        *end_ = '\0';
        return got > 0;
    }

    void put_text(std::string_view text) noexcept {
        while (text.size() > capacity_ - pending_) {
            const std::size_t part = capacity_ - pending_;
            std::memcpy(output_ + pending_, text.data(), part);
            pending_ += part;
            text.remove_prefix(part);
            flush();
        }
        std::memcpy(output_ + pending_, text.data(), text.size());
        pending_ += text.size();
    }

    void put_number(std::int32_t number) noexcept {
        if (capacity_ - pending_ < longest_number) flush();
        char* const start = output_ + pending_;
        pending_ += static_cast<std::size_t>(std::to_chars(start, start + longest_number, number).ptr - start);
    }

    static void wait_for(int fd, short events) noexcept {
        pollfd entry{fd, events, 0};
        ::poll(&entry, 1, -1);
    }

    // Input read ahead into the buffer but not used goes back to the file,
    // as the C library's streams leave it: a seekable input (a regular
    // file, a block device) is left just past the last character a reading
    // consumed, for whoever reads the same open file next.  Pipes and
    // terminals cannot go back and are left as they are.
    void give_back_unread_input() noexcept {
        if (next_ != end_) ::lseek(input_fd_, -static_cast<off_t>(end_ - next_), SEEK_CUR);
        next_ = end_;
    }

    [[noreturn]] void writing_failed() noexcept {
        give_back_unread_input();
        static constexpr std::string_view message = "error: writing to standard output failed\n";
        [[maybe_unused]] const ssize_t ignored = ::write(STDERR_FILENO, message.data(), message.size());
        ::_exit(255);
    }

    int input_fd_;
    int output_fd_;
    bool at_end_ = false;
    bool exhausted_ = false;
    HeapArray<unsigned char> input_block_;
    HeapArray<char> output_block_;
    unsigned char spare_input_[spare_capacity + 1];
    char spare_output_[spare_capacity];
    std::size_t capacity_ = spare_capacity;  // of each buffer
    unsigned char* input_ = spare_input_;    // with room for a '\0' behind
    char* output_ = spare_output_;
    unsigned char* next_;
    unsigned char* end_;
    std::size_t pending_ = 0;
};

}  // namespace suite
