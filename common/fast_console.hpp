// The fast console: standard input read as "%i" numbers and standard
// output written as printf would write it, at memory speed: input is taken
// from the descriptor in 64 KiB blocks, numbers are tested and converted
// eight digits at a time, and output goes out through one buffer.  The
// programs use it in place of the C library's streams when they are built
// with SUITE_CONSOLE=fast, for timing their algorithms on millions of
// numbers; it pulls in nothing from the C++ runtime library.
#pragma once

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
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
// Eight bytes of text as one 64-bit word whose lowest byte is the first
// character, on machines of either byte order.

constexpr std::uint64_t byte_swapped(std::uint64_t word) noexcept {
    word = ((word & 0x00FF00FF00FF00FFU) << 8) | ((word >> 8) & 0x00FF00FF00FF00FFU);
    word = ((word & 0x0000FFFF0000FFFFU) << 16) | ((word >> 16) & 0x0000FFFF0000FFFFU);
    return (word << 32) | (word >> 32);
}

inline std::uint64_t load_text_word(const unsigned char* text) noexcept {
    std::uint64_t word;
    std::memcpy(&word, text, sizeof word);
    if constexpr (std::endian::native == std::endian::big) word = byte_swapped(word);
    return word;
}

inline void store_text_word(char* text, std::uint64_t word) noexcept {
    if constexpr (std::endian::native == std::endian::big) word = byte_swapped(word);
    std::memcpy(text, &word, sizeof word);
}

// The number written by the eight decimal digits of `word`, a text word of
// digits (bytes '0' to '9'), or of digit values (bytes 0 to 9): the pairs of
// digits are joined first, then the pairs of pairs, then the halves.
constexpr std::uint32_t eight_digits_value(std::uint64_t word) noexcept {
    word &= 0x0F0F0F0F0F0F0F0FU;
    word = word * 10 + (word >> 8);
    word = ((word & 0x000000FF000000FFU) * (100 + (std::uint64_t{1000000} << 32)) +
            ((word >> 16) & 0x000000FF000000FFU) * (1 + (std::uint64_t{10000} << 32))) >>
           32;
    return static_cast<std::uint32_t>(word);
}

// How many of the first bytes of a text word are decimal digits, 0 to 8.
constexpr int leading_digits(std::uint64_t word) noexcept {
    // A byte is a digit when its high half is 3, and still 3 after adding 6;
    // a carry out of a byte disturbs only the bytes after it, which no
    // longer count.
    const std::uint64_t high = 0xF0F0F0F0F0F0F0F0U;
    const std::uint64_t not_digits =
        ((word & high) | (((word + 0x0606060606060606U) & high) >> 4)) ^ 0x3333333333333333U;
    return std::countr_zero(not_digits) / 8;
}

// The eight decimal digits of `number`, below 10^8, leading zeros included,
// as a text word: its two halves of four digits go into the two 32-bit
// lanes of the word, each half into two pairs in 16-bit lanes, each pair
// into two digits in bytes.  Each division by 100 or by 10 is one
// multiplication by a fixed-point reciprocal for all lanes at once, exact
// for the values that can occur.
constexpr std::uint64_t eight_digits_text(std::uint32_t number) noexcept {
    std::uint64_t lanes = number / 10000 | std::uint64_t{number % 10000} << 32;
    const std::uint64_t hundreds = (lanes * 10486 >> 20) & 0x0000007F0000007FU;
    lanes = hundreds | (lanes - hundreds * 100) << 16;
    const std::uint64_t tens = (lanes * 103 >> 10) & 0x000F000F000F000FU;
    lanes = tens | (lanes - tens * 10) << 8;
    return lanes + 0x3030303030303030U;
}

// The count of decimal digits of `number`, 1 to 10.
constexpr int decimal_length(std::uint32_t number) noexcept {
    constexpr std::uint32_t powers[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000, 1000000000};
    const int estimate = static_cast<int>(std::bit_width(number | 1)) * 1233 >> 12;  // log10(2) is about 1233 / 4096
    return estimate + ((number | 1) >= powers[estimate] ? 1 : 0);
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
        text_length_ = N - 1 - 2 * Count;
    }

    constexpr std::string_view piece(std::size_t index) const noexcept { return pieces_[index]; }
    // The length of the text without its numbers.
    constexpr std::size_t text_length() const noexcept { return text_length_; }

private:
    static void format_does_not_match_arguments() {}  // not constexpr: a call stops compilation

    std::string_view pieces_[Count + 1]{};
    std::size_t text_length_ = 0;
};

// ---------------------------------------------------------------------------
// The console: standard input read as "%i" numbers, standard output written
// through one buffer.
//
// Where the input may make the program wait (a terminal, a pipe, a socket),
// whatever is pending on the output is written before each read of it, so
// a prompt is always visible before the program waits.  A regular file
// never makes it wait: the output then goes out when the buffer is full and
// at the end, as the C library's streams send output to a file.  A write
// that fails ends the process at once with status 255 and one line on
// standard error; the destructor writes what is still pending.

class Console {
public:
    explicit Console(int input_fd = STDIN_FILENO, int output_fd = STDOUT_FILENO) noexcept
        : input_fd_(input_fd), output_fd_(output_fd) {
        // The buffers come from the heap, so that a program needs next to
        // no stack; should the heap refuse them, small ones inside the
        // console serve instead.
        input_block_.reset(static_cast<unsigned char*>(std::malloc(block_capacity + input_padding)));
        output_block_.reset(static_cast<char*>(std::malloc(block_capacity)));
        if (input_block_ && output_block_) {
            input_ = input_block_.get();
            output_ = output_block_.get();
            capacity_ = block_capacity;
        }
        largest_write_ = capacity_;
        next_ = end_ = input_;
        std::memset(end_, 0, input_padding);
        struct stat input {};
        input_may_wait_ = ::fstat(input_fd_, &input) != 0 || !(S_ISREG(input.st_mode) || S_ISBLK(input.st_mode));
        input_seekable_ = ::lseek(input_fd_, 0, SEEK_CUR) >= 0;
    }
    // Output first: where input and output are one open file (as with
    // "program <> file >&0") the output then lands behind the input, and
    // the input is given back where the last number ended.
    ~Console() {
        flush();
        give_back_unread_input();
    }
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    // One number as "%lli" converts it, with its low 32 bits kept: leading
    // white space skipped, an optional sign, then "0x" or "0X" and
    // hexadecimal digits, another leading 0 and octal digits, or decimal
    // digits.  The longest run of digits valid for the base is taken.  A
    // magnitude beyond the 64-bit range saturates as strtoll's does, to
    // LLONG_MAX for a positive number (low bits -1) and to LLONG_MIN for a
    // negative one (low bits 0).  When no number can be read (end of input,
    // a character that cannot start a number, a sign without a digit) the
    // result is 0, and so is every later result: the input counts as
    // exhausted.
    //
    // The common case, a decimal number of up to sixteen digits that ends
    // inside the buffer, is read through a local cursor, eight digits at a
    // time; anything else starts over on the general path, which refills
    // the buffer as it goes.
    std::int32_t read_int() noexcept {
        const unsigned char* cursor = next_;
        while (is_white_space(*cursor)) ++cursor;
        // A sign is stepped over without a branch: signs come in any order.
        const bool negative = *cursor == '-';
        cursor += static_cast<unsigned>(negative) | static_cast<unsigned>(*cursor == '+');
        if (exhausted_ || static_cast<unsigned>(*cursor - '1') > 8) return read_int_anywhere();
        const std::uint32_t value = take_decimal_digits(cursor);
        if (cursor == end_) return read_int_anywhere();
        next_ = cursor;
        return static_cast<std::int32_t>(negative ? 0U - value : value);
    }

    // True once a number could not be read.
    bool exhausted() const noexcept { return exhausted_; }

    // printf of `format` with "%i" replaced by the numbers, in order.  When
    // the buffer has room for the longest text the call can make, it is
    // written in one go through a local cursor.
    template <std::same_as<std::int32_t>... Ints>
    [[gnu::always_inline]] void print(std::type_identity_t<Format<sizeof...(Ints)>> format, Ints... numbers) noexcept {
        std::size_t index = 0;
        if (format.text_length() + sizeof...(Ints) * longest_number <= capacity_ - pending_) {
            char* text = output_ + pending_;
            ((text = put_text(text, format.piece(index++)), text = put_digits(text, numbers)), ...);
            text = put_text(text, format.piece(index));
            pending_ = static_cast<std::size_t>(text - output_);
        } else {
            ((put_text(format.piece(index++)), put_number(numbers)), ...);
            put_text(format.piece(index));
        }
    }

    // Text as it stands, as puts and putchar write it.
    void write(std::string_view text) noexcept { put_text(text); }

    // Writes everything pending on the output.  A socket that carries
    // messages refuses one larger than its buffer (EMSGSIZE); the writes
    // are then halved until one fits, and stay that size.
    void flush() noexcept {
        const char* data = output_;
        while (pending_ > 0) {
            const std::size_t size = std::min(pending_, largest_write_);
            const ssize_t written = ::write(output_fd_, data, size);
            if (written > 0) {
                data += written;
                pending_ -= static_cast<std::size_t>(written);
            } else if (written < 0 && errno == EAGAIN) {
                wait_for(output_fd_, POLLOUT);
            } else if (written < 0 && errno == EMSGSIZE && size > 1) {
                largest_write_ = size / 2;
            } else if (written == 0 || errno != EINTR) {
                writing_failed();
            }
        }
    }

private:
    static constexpr std::size_t block_capacity = std::size_t{1} << 16;
    static constexpr std::size_t spare_capacity = 256;
    static constexpr std::size_t longest_number = 11;  // "-2147483648"
    // Behind the input data: a '\0' that no rule accepts, and room for the
    // rest of two words read at the last data byte.
    static constexpr std::size_t input_padding = 16;
    // The largest magnitude a long long holds, that of LLONG_MIN, and the
    // mark of a magnitude beyond it.
    static constexpr std::uint64_t largest_magnitude = std::uint64_t{1} << 63;
    static constexpr std::uint64_t saturated = UINT64_MAX;

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

    // read_int from any place in the input: numbers that reach past the end
    // of the buffer, octal and hexadecimal numbers, and every failure.
    std::int32_t read_int_anywhere() noexcept {
        if (exhausted_ || !skip_white_space()) return fail();
        bool negative = false;
        if (*next_ == '+' || *next_ == '-') {
            negative = *next_ == '-';
            ++next_;
            if (!available()) return fail();
        }
        std::uint64_t magnitude = 0;
        if (*next_ == '0') {
            ++next_;
            if (available() && (*next_ == 'x' || *next_ == 'X')) {
                ++next_;
                magnitude = take_digits<16>();
            } else {
                magnitude = take_digits<8>();
            }
        } else if (digit_value(*next_) < 10) {
            magnitude = take_digits<10>();
        } else {
            return fail();
        }
        return low_32_bits(negative, magnitude);
    }

    // The digits valid for `Base`, all of the run, refilling as it goes:
    // their value, or `saturated` once that passes largest_magnitude.
    template <unsigned Base>
    std::uint64_t take_digits() noexcept {
        // value * Base + digit is within largest_magnitude for a value below
        // `cutoff`, and for `cutoff` itself with a digit up to `last_digit`;
        // `saturated`, above both, stays.
        constexpr std::uint64_t cutoff = largest_magnitude / Base;
        constexpr unsigned last_digit = largest_magnitude % Base;
        std::uint64_t value = 0;
        for (;;) {
            for (unsigned digit; (digit = digit_value(*next_)) < Base; ++next_) {
                value = value < cutoff || (value == cutoff && digit <= last_digit) ? value * Base + digit : saturated;
            }
            if (next_ != end_ || !refill()) return value;
        }
    }

    // The low 32 bits of the long long that strtoll makes of a sign and a
    // magnitude: LLONG_MAX for a positive magnitude beyond its range,
    // LLONG_MIN for a negative one.
    static constexpr std::int32_t low_32_bits(bool negative, std::uint64_t magnitude) noexcept {
        const auto low = static_cast<std::uint32_t>(magnitude);
        if (negative) return magnitude > largest_magnitude ? 0 : static_cast<std::int32_t>(0U - low);
        return magnitude >= largest_magnitude ? -1 : static_cast<std::int32_t>(low);
    }

    // The low 32 bits of the value of the decimal digits at `cursor`, of a
    // run of up to sixteen: the next two words of eight bytes are tested
    // and converted, and `cursor` is left behind the last digit.  Both
    // words are read at once, so the second is at hand when the first is
    // all digits, as in most numbers of nine digits or more.  The padding
    // behind the data makes the words readable, and its '\0' ends the run
    // of digits.  Sixteen digits are below 2^63, so their low 32 bits are
    // those of the long long, and 32-bit arithmetic gives them.  A longer
    // run may pass the 64-bit range and is left to the general path:
    // `cursor` is then put at the end of the data, where a number that
    // reaches it is left to that path too.
    [[gnu::always_inline]] std::uint32_t take_decimal_digits(const unsigned char*& cursor) const noexcept {
        static constexpr std::uint32_t scale[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};
        // The value of the first `count` digits of a word.
        const auto value_of = [](std::uint64_t word, int count) {
            return count == 0 ? 0 : eight_digits_value(word << (64 - 8 * count));
        };
        const std::uint64_t first = load_text_word(cursor);
        const std::uint64_t second = load_text_word(cursor + 8);
        const int head = leading_digits(first);
        if (head < 8) {
            cursor += head;
            return value_of(first, head);
        }
        const int tail = leading_digits(second);
        // Sixteen digits and a seventeenth: the byte after them is still
        // within the data or its padding, as the sixteen digits are data.
        if (tail == 8 && digit_value(cursor[16]) < 10) {
            cursor = end_;
            return 0;
        }
        cursor += 8 + tail;
        return eight_digits_value(first) * scale[tail] + value_of(second, tail);
    }

    std::int32_t fail() noexcept {
        exhausted_ = true;
        return 0;
    }

    bool refill() noexcept {
        if (at_end_) return false;
        if (input_may_wait_) flush();
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
        if (input_seekable_) input_end_offset_ = ::lseek(input_fd_, 0, SEEK_CUR);
        next_ = input_;
        end_ = input_ + got;
        std::memset(end_, 0, input_padding);
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
        pending_ = static_cast<std::size_t>(put_digits(output_ + pending_, number) - output_);
    }

    [[gnu::always_inline]] static char* put_text(char* out, std::string_view text) noexcept {
        std::memcpy(out, text.data(), text.size());
        return out + text.size();
    }

    // Writes `number` in decimal at `out` and returns the end.  The digits
    // go out as whole words of eight: up to eight digits as one word with
    // its leading zeros shifted out, a longer number as its one or two
    // leading digits and then a word.  A word may write past the number's
    // end, always within the room for the longest number.
    [[gnu::always_inline]] static char* put_digits(char* out, std::int32_t number) noexcept {
        // The sign, and below the one or two leading digits, are written
        // without a branch: numbers come in any order.
        const bool negative = number < 0;
        const std::uint32_t magnitude =
            negative ? 0U - static_cast<std::uint32_t>(number) : static_cast<std::uint32_t>(number);
        *out = '-';
        out += static_cast<unsigned>(negative);
        if (magnitude < 100000000) {
            const int length = decimal_length(magnitude);
            store_text_word(out, eight_digits_text(magnitude) >> (64 - 8 * length));
            return out + length;
        }
        const std::uint32_t leading = magnitude / 100000000;  // 1 to 42
        const bool two = leading >= 10;
        out[0] = static_cast<char>('0' + (two ? leading / 10 : leading));
        out[1] = static_cast<char>('0' + leading % 10);
        out += 1 + static_cast<unsigned>(two);
        store_text_word(out, eight_digits_text(magnitude % 100000000));
        return out + 8;
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
        if (next_ != end_ && input_end_offset_ >= 0) {
            ::lseek(input_fd_, input_end_offset_ - static_cast<off_t>(end_ - next_), SEEK_SET);
        }
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
    bool input_may_wait_ = true;   // so the output is written before each read
    bool input_seekable_ = false;  // so unread input can be given back
    bool at_end_ = false;
    bool exhausted_ = false;
    off_t input_end_offset_ = -1;  // of the file, where the data in the buffer ends
    struct FreeDeleter {
        void operator()(void* block) const noexcept { std::free(block); }
    };
    std::unique_ptr<unsigned char[], FreeDeleter> input_block_;
    std::unique_ptr<char[], FreeDeleter> output_block_;
    unsigned char spare_input_[spare_capacity + input_padding];
    char spare_output_[spare_capacity];
    std::size_t capacity_ = spare_capacity;  // of each buffer
    std::size_t largest_write_;              // that the output accepts
    unsigned char* input_ = spare_input_;    // with the padding behind
    char* output_ = spare_output_;
    const unsigned char* next_;
    unsigned char* end_;
    std::size_t pending_ = 0;
};

}  // namespace suite
