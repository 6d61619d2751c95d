// count_down_up: for a positive n prints n - 1 down to 0, then n, then 0 up
// to n - 1, one number per line.

#include <cstdint>
#include <cstring>

#include "suite.hpp"

namespace {

// The digits of a number in front of its last digit, stepped by one in
// place: a step touches only the digits that change.  For a number below 10
// there are none.
class LeadingDigits {
public:
    explicit LeadingDigits(std::uint32_t tens) {
        char reversed[10];
        for (; tens != 0; tens /= 10) reversed[length_++] = static_cast<char>('0' + tens % 10);
        for (std::size_t i = 0; i < length_; ++i) text_[i] = reversed[length_ - 1 - i];
    }

    const char (&text() const)[16] { return text_; }
    std::size_t length() const { return length_; }

    void increment() {
        std::size_t end = length_;  // one past the digit to raise
        while (end > 0 && text_[end - 1] == '9') text_[--end] = '0';
        if (end > 0) {
            ++text_[end - 1];
        } else {  // 9...9 became 10...0
            std::memmove(text_ + 1, text_, length_++);
            text_[0] = '1';
        }
    }

    // Only when there are digits.
    void decrement() {
        std::size_t digit = length_ - 1;
        while (text_[digit] == '0') text_[digit--] = '9';
        --text_[digit];
        if (digit == 0 && text_[0] == '0') std::memmove(text_, text_ + 1, --length_);  // 10...0 became 9...9
    }

private:
    char text_[16] = {};
    std::size_t length_ = 0;
};

// Writes the lines of the numbers that have the leading digits `tens` and
// a last digit from `first` to `last`, upwards or downwards.  Each line is
// the leading digits, copied as one block of sixteen bytes, with the last
// digit and the line break written over the end of the block.
void write_lines(suite::Console& io, const LeadingDigits& tens, int first, int last) {
    const int step = first <= last ? 1 : -1;
    const std::size_t line_size = tens.length() + 2;
    char* const start = io.reserve(10 * line_size + sizeof tens.text());
    char* line = start;
    for (int digit = first;; digit += step) {
        std::memcpy(line, tens.text(), sizeof tens.text());
        line[tens.length()] = static_cast<char>('0' + digit);
        line[tens.length() + 1] = '\n';
        line += line_size;
        if (digit == last) break;
    }
    io.commit(static_cast<std::size_t>(line - start));
}

}  // namespace

int main() {
    suite::Console io;
    const std::int32_t n = io.read_int();
    if (n <= 0) return -1;

    // The lines are written ten at a time, one for each last digit; the
    // leading digits change only between two such groups.
    const auto top = static_cast<std::uint32_t>(n - 1);
    LeadingDigits down(top / 10);
    for (std::uint32_t tens = top / 10 + 1; tens-- > 0;) {
        write_lines(io, down, tens == top / 10 ? static_cast<int>(top % 10) : 9, 0);
        if (tens > 0) down.decrement();
    }
    io.print("%i\n", n);
    LeadingDigits up(0);
    for (std::uint32_t tens = 0; tens <= top / 10; ++tens) {
        write_lines(io, up, 0, tens == top / 10 ? static_cast<int>(top % 10) : 9);
        up.increment();
    }
    return 0;
}
