// libFuzzer target for suite::Console's number reader.
//
// The input reaches a Console through a real descriptor; every number it
// reads, its exhausted() flag after each read and the text that print()
// makes of each number are checked against a plain reading of the same
// bytes held in memory, whose numbers the C library's strtoll converts,
// and against snprintf.  Any difference aborts.
//
// The first input byte, `plan`, chooses how the rest reaches the reader,
// so that block boundaries fall at every kind of place:
//   plan % 4 == 0  one memfd: a single read returns everything;
//   plan % 4 == 1  a packet socket: reads return pieces of 1 to 16 bytes,
//                  their lengths drawn from plan >> 2;
//   plan % 4 == 2  one memfd, the rest preceded by 65536 - (plan >> 4)
//                  bytes of " 09\v"[(plan >> 2) % 4], so that it starts
//                  just before the end of the reader's first 64 KiB block;
//   plan % 4 == 3  a packet socket: reads return single bytes.
// A packet socket hands out pieces up to a bounded count; the rest then
// arrives as one piece.

#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "fast_console.hpp"
#include "suite.hpp"

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "reader_fuzzer: %s\n", what);
    std::abort();
}

void check(bool holds, const char* what, std::size_t index, long long expected, long long got) {
    if (holds) return;
    std::fprintf(stderr, "reader_fuzzer: %s at read %zu: expected %lld, got %lld\n", what, index, expected, got);
    std::abort();
}

// The numbers the reading rules give for `text`, in order, up to the first
// one that cannot be read.  A position past the end reads as '\0', which
// neither is white space nor starts a number, just as the end itself.
// Each number is found here and converted by strtoll, which saturates
// beyond the 64-bit range; its low 32 bits are the number read.
std::vector<std::int32_t> expected_numbers(std::string_view text) {
    static constexpr std::string_view white_space = " \t\n\v\f\r";
    static constexpr std::string_view lower_digits = "0123456789abcdef";
    static constexpr std::string_view upper_digits = "0123456789ABCDEF";
    // digit_values[c]: the value of the digit character c, 16 for any other.
    static const auto digit_values = [] {
        std::array<std::size_t, 256> values{};
        values.fill(16);
        for (std::size_t i = 0; i < 16; ++i) {
            values[static_cast<unsigned char>(lower_digits[i])] = i;
            values[static_cast<unsigned char>(upper_digits[i])] = i;
        }
        return values;
    }();
    std::size_t at = 0;
    const auto next = [&] { return at < text.size() ? text[at] : '\0'; };
    const auto digit = [](char c) { return digit_values[static_cast<unsigned char>(c)]; };

    std::vector<std::int32_t> numbers;
    for (;;) {
        while (white_space.find(next()) != std::string_view::npos) ++at;
        // The sign and the digits, without a "0x": strtoll would take "0x"
        // without a hexadecimal digit as 0 followed by an 'x'.
        std::string number(next() == '-' ? "-" : "");
        if (next() == '-' || next() == '+') ++at;
        std::size_t base = 10;
        if (next() == '0') {
            ++at;
            number += '0';
            base = 8;
            if (next() == 'x' || next() == 'X') {
                ++at;
                base = 16;
            }
        } else if (digit(next()) >= 10) {
            return numbers;
        }
        for (; digit(next()) < base; ++at) number += next();
        numbers.push_back(suite::low_32_bits(std::strtoll(number.c_str(), nullptr, static_cast<int>(base))));
    }
}

void write_all(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written <= 0) fail("cannot write the input to its descriptor");
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
}

std::string read_all(int fd) {
    std::string bytes;
    char block[4096];
    if (::lseek(fd, 0, SEEK_SET) != 0) fail("cannot rewind the output");
    for (ssize_t got; (got = ::read(fd, block, sizeof block)) > 0;) bytes.append(block, static_cast<std::size_t>(got));
    return bytes;
}

int memory_file(std::string_view bytes) {
    const int fd = ::memfd_create("reader_fuzzer", 0);
    if (fd < 0) fail("memfd_create failed");
    write_all(fd, bytes);
    if (::lseek(fd, 0, SEEK_SET) != 0) fail("cannot rewind the input");
    return fd;
}

// A packet socket from which `bytes` is read in pieces: of one byte each,
// or of lengths from 1 to 16 drawn from `draw`.  At end, reads return 0.
int packet_socket(std::string_view bytes, bool single_bytes, unsigned draw) {
    constexpr int most_pieces = 64;  // keeps everything within the socket's send buffer
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET, 0, ends) != 0) fail("socketpair failed");
    for (int piece = 0; !bytes.empty(); ++piece) {
        draw = draw * 1103515245U + 12345U;
        const std::size_t length = piece + 1 == most_pieces ? bytes.size()
                                   : single_bytes           ? 1
                                                            : std::size_t{(draw >> 16) % 16 + 1};
        const std::string_view part = bytes.substr(0, length);
        if (::send(ends[1], part.data(), part.size(), 0) != static_cast<ssize_t>(part.size())) fail("send failed");
        bytes.remove_prefix(part.size());
    }
    ::close(ends[1]);
    return ends[0];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const unsigned plan = data[0];
    std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (plan % 4 == 2) text.insert(0, 65536 - (plan >> 4), " 09\v"[(plan >> 2) % 4]);

    const std::vector<std::int32_t> expected = expected_numbers(text);
    const int input = plan % 2 == 0 ? memory_file(text) : packet_socket(text, plan % 4 == 3, plan >> 2);
    const int output = memory_file("");
    {
        suite::Console io(input, output);
        // Every number the text holds, then three reads past the first failure.
        for (std::size_t i = 0; i < expected.size() + 3; ++i) {
            const bool past_end = i >= expected.size();
            const std::int32_t want = past_end ? 0 : expected[i];
            const std::int32_t number = io.read_int();
            check(number == want, "read_int() gave a wrong number", i, want, number);
            check(io.exhausted() == past_end, "exhausted() is wrong", i, past_end, io.exhausted());
            if (!past_end) io.print("%i\n", number);
        }
    }
    std::string printed;
    for (const std::int32_t number : expected) {
        char line[16];
        printed.append(line, static_cast<std::size_t>(std::snprintf(line, sizeof line, "%i\n", number)));
    }
    if (read_all(output) != printed) fail("print gave other bytes than printf");
    ::close(input);
    ::close(output);
    return 0;
}
