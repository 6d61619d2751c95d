// Randomised dialogues checked against a model: the input a user types,
// the numbers a program reads from it, and the run of one build against
// the answer the model gives.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "process.hpp"
#include "random_input.hpp"

namespace support {

// The text a user types and the numbers the program reads from it, as the
// C library's "%i" reads them. In one dialogue of ten the input goes bad at
// a random read: it ends there (at times right after a lone sign), or holds
// a lone sign that fails that read alone, or a token that cannot start a
// number and stays unread, so that it fails every later read too. A read
// that fails gives 0.
class Typist {
public:
    Typist(RandomInput& random, std::int32_t reads) : random_(random) {
        if (random.chance(0.1)) bad_read_ = random.between(0, reads);
    }
    // The user types `value`; returns what the program reads for it.
    std::int32_t number(std::int32_t value) { return read(value, true); }
    // The same for the first of two numbers read by one "%i%i": a lone sign
    // would end that reading before the second number, which the next
    // reading would then take, so the first is never spoiled by one.
    std::int32_t first_of_two(std::int32_t value) { return read(value, false); }
    // Types every one of `values`; the program reads only the first `reads`.
    std::vector<std::int32_t> numbers(const std::vector<std::int32_t>& values, std::size_t reads) {
        std::vector<std::int32_t> got;
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (i < reads)
                got.push_back(number(values[i]));
            else
                surplus(values[i]);
        }
        return got;
    }
    // The user types `value` where the program reads nothing.
    void surplus(std::int32_t value) {
        if (!ended_) text_ += random_.typed(value);
    }
    const std::string& text() const { return text_; }

private:
    std::int32_t read(std::int32_t value, bool lone_sign_may_fail_it) {
        if (reads_++ == bad_read_ && spoil(lone_sign_may_fail_it)) return 0;
        surplus(value);
        return stuck_ ? 0 : value;
    }
    // Types what spoils the read; true when only this read fails.
    bool spoil(bool lone_sign) {
        static constexpr std::array<const char*, 4> stuck_tokens = {"x", "-x", "abc", ".5"};
        switch (random_.between(lone_sign ? 0 : 3, 4)) {
            case 0: break;  // the input ends
            case 1: text_ += "-"; break;
            case 2: text_ += std::string(random_.chance(0.5) ? "+" : "-") + random_.separator(); return true;
            default:
                text_ += stuck_tokens[static_cast<std::size_t>(random_.between(0, 3))] + random_.separator();
                stuck_ = true;
                return false;
        }
        ended_ = stuck_ = true;
        return false;
    }

    RandomInput& random_;
    std::string text_;
    std::int32_t reads_ = 0;
    std::int32_t bad_read_ = -1;
    bool stuck_ = false;
    bool ended_ = false;
};

// F(n) modulo 2^32 for n of 0 and more: the top right of the n-th power of
// [[1, 1], [1, 0]], by repeated squaring, so that any n costs 31 steps.
inline std::int32_t fibonacci(std::int32_t n) {
    using Matrix = std::array<std::uint32_t, 4>;  // row by row
    const auto times = [](const Matrix& a, const Matrix& b) {
        return Matrix{a[0] * b[0] + a[1] * b[2], a[0] * b[1] + a[1] * b[3], a[2] * b[0] + a[3] * b[2],
                      a[2] * b[1] + a[3] * b[3]};
    };
    Matrix power{1, 0, 0, 1};
    Matrix square{1, 1, 1, 0};
    for (auto left = static_cast<std::uint32_t>(std::max(n, 0)); left != 0; left >>= 1) {
        if (left & 1U) power = times(power, square);
        square = times(square, square);
    }
    return static_cast<std::int32_t>(power[1]);
}

struct Expected {
    std::string out;
    int exit_code = 0;
    // Whether the run may instead be refused (status 255, no output): for a
    // block whose grant depends on the machine's address space.
    bool may_be_refused = false;
};

template <class... Parts>
std::string cat(const Parts&... parts) {
    std::ostringstream text;
    (text << ... << parts);
    return text.str();
}

// The input with its white space made visible, for failure messages.
inline std::string shown(const std::string& text) {
    std::string result;
    for (const char c : text) {
        const std::string_view plain = "\n\t\r\v\f", escaped = "ntrvf";
        const std::size_t at = plain.find(c);
        result += at == std::string_view::npos ? std::string(1, c) : std::string("\\") + escaped[at];
    }
    return result;
}

// Where SUITE_FAILURE_DIR names a folder, the dialogue a build got wrong
// is kept there for a bug report: <executable>.random.in holds the input,
// .out and .status the model's answer. Returns the words that say so.
inline std::string save_failure(const std::string& executable, const std::string& input, const Expected& expected) {
    const char* folder = std::getenv("SUITE_FAILURE_DIR");
    if (folder == nullptr || *folder == '\0') return "";
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    const std::string base = std::string(folder) + "/" + executable + ".random";
    const auto write = [](const std::string& path, const std::string& text) {
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        file << text;
        return static_cast<bool>(file);
    };
    if (!write(base + ".in", input) || !write(base + ".out", expected.out) ||
        !write(base + ".status", cat(expected.exit_code, "\n")))
        return ", not saved in " + std::string(folder);
    return ", saved as " + base + ".in (the model's answer in .out and .status)";
}

// Runs random dialogues with one build: `model` types the input of a
// dialogue and gives the answer the program owes. Stops at the first mismatch.
template <class Model>
void check_dialogues(const std::string& executable, std::uint64_t seed, std::int32_t reads, Model model) {
    RandomInput random(seed);
    const std::string path = support::executable_path(executable);
    const int rounds = support::sanitized_build() || support::emulated() ? 60 : 200;
    for (int round = 0; round < rounds; ++round) {
        Typist typist(random, reads);
        const Expected expected = model(random, typist);
        const support::Outcome outcome = support::run_program(path, typist.text());
        const bool ran = !outcome.timed_out && outcome.signal == 0;
        if (ran && expected.may_be_refused && outcome.exit_code == 255 && outcome.out.empty()) continue;
        const bool wrong = !ran || outcome.out != expected.out || outcome.exit_code != expected.exit_code ||
                           !outcome.err.empty();
        const std::string input =
            "input \"" + shown(typist.text()) + "\"" + (wrong ? save_failure(executable, typist.text(), expected) : "");
        ASSERT_FALSE(outcome.timed_out) << input;
        ASSERT_EQ(outcome.signal, 0) << input;
        ASSERT_EQ(outcome.out, expected.out) << input;
        ASSERT_EQ(outcome.exit_code, expected.exit_code) << input;
        ASSERT_EQ(outcome.err, "") << input;
    }
}

inline std::string build_name(const testing::TestParamInfo<std::string>& info) { return info.param; }

}  // namespace support

// One test per program, instantiated once for each of its builds.
#define RANDOM_DIALOGUES(Suite, program, seed, reads, model)                                     \
    class Suite : public testing::TestWithParam<std::string> {};                                 \
    TEST_P(Suite, AgreesWithModel) { support::check_dialogues(GetParam(), seed, reads, model); } \
    GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(Suite);                                        \
    INSTANTIATE_TEST_SUITE_P(Random, Suite, testing::ValuesIn(support::builds_of(program)), support::build_name)
