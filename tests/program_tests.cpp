// What every program promises alike: prompts that are on the screen before
// the program waits, failed writes reported, a closed pipe ending quietly,
// and a start-up that loads nothing beyond the C library.

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "process.hpp"
#include "suite_programs.hpp"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

using support::program_of;
using support::sample_input;

std::string test_name(const testing::TestParamInfo<std::string>& info) { return info.param; }

class EveryProgram : public testing::TestWithParam<std::string> {
protected:
    std::string path() const { return support::executable_path(GetParam()); }
};

TEST_P(EveryProgram, SampleRunsCleanly) {
    const support::Outcome outcome = support::run_program(path(), sample_input(GetParam()));
    EXPECT_EQ(outcome.exit_code, 0);
    EXPECT_FALSE(outcome.out.empty());
    EXPECT_EQ(outcome.err, "");
}

TEST_P(EveryProgram, FailedWritesEndWithStatus255AndOneLine) {
    for (const auto target : {support::OutputTarget::dev_full, support::OutputTarget::closed}) {
        support::RunOptions options;
        options.output = target;
        const support::Outcome outcome = support::run_program(path(), sample_input(GetParam()), options);
        EXPECT_EQ(outcome.signal, 0);
        EXPECT_EQ(outcome.exit_code, 255);
        EXPECT_EQ(outcome.err, "error: writing to standard output failed\n");
    }
}

// An input that makes a program print far more than 4 KiB, where its output
// can grow with its input; its sample otherwise.
std::string long_output_input(const std::string& executable) {
    const std::string program = program_of(executable);
    const auto numbers = [](std::uint32_t count, std::uint32_t step) {
        std::string text;
        for (std::uint32_t i = 0; i < count; ++i) text += " " + std::to_string(static_cast<std::int32_t>(i * step));
        return text;
    };
    if (program == "count_down_up") return "20000\n";
    if (program == "quick_sort" || program == "heap_sort") return "3000" + numbers(3000, 2654435761U);
    if (program == "record_sort") return "400" + numbers(800, 7);
    if (program == "matrix_product") return "40" + numbers(2 * 40 * 40, 40503);
    return sample_input(executable);
}

// A socket that carries messages refuses a write larger than its buffer;
// every byte still arrives, as it does through a pipe.
TEST_P(EveryProgram, DeliversEverythingThroughASocketOfSmallMessages) {
    const std::string input = long_output_input(GetParam());
    support::RunOptions options;
    options.output = support::OutputTarget::message_socket;
    const support::Outcome through_socket = support::run_program(path(), input, options);
    const support::Outcome through_pipe = support::run_program(path(), input);
    EXPECT_EQ(through_socket.signal, 0);
    EXPECT_EQ(through_socket.exit_code, 0);
    EXPECT_EQ(through_socket.err, "");
    EXPECT_EQ(through_socket.out.size(), through_pipe.out.size());
    EXPECT_TRUE(through_socket.out == through_pipe.out);
}

TEST_P(EveryProgram, AReaderThatHasGoneEndsTheRunQuietly) {
    support::RunOptions options;
    options.output = support::OutputTarget::reader_gone;
    const support::Outcome outcome = support::run_program(path(), sample_input(GetParam()), options);
    EXPECT_EQ(outcome.signal, SIGPIPE);
    EXPECT_EQ(outcome.err, "");
}

TEST_P(EveryProgram, LoadsNothingButTheCLibrary) {
    if (!support::own_build()) GTEST_SKIP() << "a property of this project's link flags, not of behaviour";
    if (support::sanitized_build()) GTEST_SKIP() << "the sanitizer runtime brings its own libraries";
    const std::string bytes = support::read_file(path());
    EXPECT_EQ(bytes.find("libstdc++"), std::string::npos);
    EXPECT_EQ(bytes.find("libm.so"), std::string::npos);
}

// The names in the dynamic symbol table of an executable, the undefined
// ones (imported) apart, as readelf lists them for any machine.
struct DynamicSymbols {
    std::set<std::string> imported, defined;
};

DynamicSymbols dynamic_symbols(const std::string& path) {
    DynamicSymbols symbols;
    FILE* const listing = ::popen(("readelf --dyn-syms -W '" + path + "' 2>/dev/null").c_str(), "r");
    if (listing == nullptr) return symbols;
    // "   3: 0000000000000000     0 FUNC    GLOBAL DEFAULT  UND printf@GLIBC_2.2.5 (3)"
    static const std::regex entry(R"(^\s*\d+: \S+\s+\d+ \w+\s+\w+\s+\w+\s+(\S+) ([^@\s]+))");
    char line[512];
    while (std::fgets(line, sizeof line, listing) != nullptr) {
        std::cmatch match;
        if (!std::regex_search(line, match, entry)) continue;
        (match[1] == "UND" ? symbols.imported : symbols.defined).insert(match[2]);
    }
    ::pclose(listing);
    return symbols;
}

// The C library's calls each program's source makes: scanf and printf in
// every one, puts and putchar where it writes with them.  An optimising
// compiler may turn a printf into puts or putchar, and putchar may reach
// the library as putc; scanf is __isoc99_scanf by the C library's headers.
// The fast console reads and writes the descriptors itself instead.
TEST_P(EveryProgram, ImportsTheCLibrarysCallsItsSourceMakes) {
    if (support::sanitized_build()) GTEST_SKIP() << "the sanitizer runtime intercepts the C library's calls";
    const DynamicSymbols symbols = dynamic_symbols(path());
    ASSERT_FALSE(symbols.imported.empty()) << "readelf listed no imported symbol of " << path();
    const auto has = [&](std::initializer_list<const char*> names) {
        for (const char* name : names) {
            if (symbols.imported.contains(name)) return true;
        }
        return false;
    };
    const std::string program = program_of(GetParam());
    if (support::fast_console()) {
        EXPECT_TRUE(has({"read"}) && has({"write"}));
        EXPECT_FALSE(has({"scanf", "__isoc99_scanf", "printf", "puts", "putchar", "putc"}));
        return;
    }
    EXPECT_TRUE(has({"scanf", "__isoc99_scanf", "__isoc23_scanf"}));
    EXPECT_TRUE(has({"printf"}));
    if (program == "matrix_product" || program == "record_sort" || program == "number_game") {
        EXPECT_TRUE(has({"puts"}));
    }
    if (program == "matrix_product") {
        EXPECT_TRUE(has({"putchar", "putc", "_IO_putc"}));
    }
    EXPECT_FALSE(has({"read"}));
    EXPECT_FALSE(has({"write"}));
}

// As "| head -c 1": the reader takes the first byte of a long output and
// goes away; the program ends by SIGPIPE and the byte was right.
TEST(CountDownUp, EndsBySigpipeWhenTheReaderGoesAwayMidRun) {
    support::RunOptions options;
    options.output = support::OutputTarget::pipe_read_once;
    for (const std::string& executable : support::builds_of("count_down_up")) {
        const support::Outcome outcome =
            support::run_program(support::executable_path(executable), "1000000\n", options);
        EXPECT_EQ(outcome.signal, SIGPIPE) << executable;
        EXPECT_EQ(outcome.out, "9") << executable;
        EXPECT_EQ(outcome.err, "") << executable;
    }
}

INSTANTIATE_TEST_SUITE_P(All, EveryProgram, testing::ValuesIn(support::all_executables()), test_name);

// Input from a file that a program does not use stays in the file for
// whoever reads it next, as after "{ quick_sort; fib_loop; } < file": the
// offset is left just past the last character a reading consumed, whatever
// path ended the run.
struct Leftover {
    std::string program;
    std::string input;
    std::string unread;  // what the next reader finds
};

std::vector<Leftover> leftovers() {
    std::string many = "20000";
    for (int i = 0; i < 20000; ++i) many += " " + std::to_string(i * 7919 % 20011);
    return {
        {"array_compare", "17 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 99\n",
         " 99\n"},
        {"parity_echo", "1 5 6 7", " 7"},
        {"matrix_product", "1 2 3\t4", "\t4"},
        {"matrix_product", "0 5", " 5"},
        {"selection_sort", "12 1 2 3 4 5 6 7 8 9 10 2 9\n8\n", " 2 9\n8\n"},
        {"selection_sort", "-3 8", " 8"},
        {"bubble_sort", "0 7", " 7"},
        {"bubble_sort", "11 1 2 3 4 5 6 7 8 9 10 11", " 11"},
        {"heap_sort", "2 5 3 4", " 4"},
        {"heap_sort", "-2147483648 7", " 7"},
        {"quick_sort", "0 7", " 7"},
        {"quick_sort", "1 5\n6", "\n6"},
        {"quick_sort", many + " 424242\n", " 424242\n"},
        {"record_sort", "1 5 21 9", " 9"},
        {"record_sort", "0 3", " 3"},
        {"fib_table", "10 11", " 11"},
        {"fib_loop", "10\n", "\n"},
        {"fib_recursive", "- 5", " 5"},
        {"factorials", "3 4 5", " 5"},
        {"count_down_up", "0xg", "g"},
        {"count_down_up", "2 3", " 3"},
        {"complex_product", "1 2 3 4 5", " 5"},
        {"number_game", "  abc", "abc"},
    };
}

// With output into the same open file, as "program <> file >&0", the
// output lands behind the whole input, as the C library's streams put it,
// and the next reader still starts where the last number ended.  Only the
// fast console knows that place once the C library's streams have written
// a full buffer (4 KiB) of output into the file: they give the unread
// input back from wherever their writing left the offset.
TEST(EveryProgramOnAFile, LeavesWhatItDidNotReadForTheNextReader) {
    support::RunOptions same_file;
    same_file.output = support::OutputTarget::input_file;
    for (const Leftover& row : leftovers()) {
        for (const std::string& executable : support::builds_of(row.program)) {
            const std::string path = support::executable_path(executable);
            const std::string shown = executable + " < \"" + row.input.substr(0, 40) + "\"";
            const support::Outcome outcome = support::run_program(path, row.input);
            EXPECT_EQ(outcome.signal, 0) << shown;
            EXPECT_EQ(outcome.unread_input, row.unread) << shown;
            const support::Outcome shared = support::run_program(path, row.input, same_file);
            EXPECT_EQ(shared.exit_code, outcome.exit_code) << shown << " >&0";
            EXPECT_TRUE(shared.input_file == row.input + outcome.out) << shown << " >&0 left:\n" << shared.input_file;
            if (support::fast_console() || outcome.out.size() < 4096) {
                EXPECT_TRUE(shared.unread_input == row.unread + outcome.out) << shown << " >&0";
            }
        }
    }
}

// Each prompt, and the answer typed once it is on the screen.
using Script = std::vector<std::pair<std::string, std::string>>;

const std::map<std::string, Script>& scripts() {
    static const std::map<std::string, Script> all = {
        {"array_compare",
         {{"please enter the number of elements: \n", "2\n"},
          {"please enter the 2 elements of a: \n", "1 2\n"},
          {"please enter the 2 elements of b: \n", "2 1\n"}}},
        {"parity_echo",
         {{"please enter the number of elements: \n", "1\n"},
          {"please enter the 1 elements of a: \n", "3\n"},
          {"please enter the 1 elements of b: \n", "5\n"}}},
        {"matrix_product",
         {{"please enter the dimension: \n", "2\n"},
          {"please enter the 2 * 2 elements of a: \n", "1 2\n3 4\n"},
          {"please enter the 2 * 2 elements of b: \n", "5 6\n7 8\n"}}},
        {"record_sort",
         {{"please insert the number of data items:\n", "2\n"},
          {"please insert month and year for data item 0:\n", "5 21\n"},
          {"please insert month and year for data item 1:\n", "3\n19\n"}}},
        {"fib_table", {{"please enter nr: ", "10\n"}}},
        {"fib_loop", {{"please enter nr: ", "10\n"}}},
        {"fib_recursive", {{"please enter nr: ", "10\n"}}},
        {"factorials", {{"please enter two numbers:\n", "5 6\n"}}},
        {"complex_product", {{"please enter the real and imagnary part: \n", "1 2\n"}, {"and again: \n", "3 4\n"}}},
        {"number_game", {{"please insert a positive number\n", "7\n"}}},
    };
    return all;
}

std::vector<std::string> prompting_executables() {
    std::vector<std::string> executables;
    for (const std::string& executable : support::all_executables()) {
        if (scripts().contains(program_of(executable))) executables.push_back(executable);
    }
    return executables;
}

class PromptingProgram : public testing::TestWithParam<std::string> {};

TEST_P(PromptingProgram, ShowsEachPromptBeforeWaitingForTheAnswer) {
    const Script& script = scripts().at(program_of(GetParam()));
    std::string typed;
    support::Dialogue dialogue(support::executable_path(GetParam()));
    for (const auto& [prompt, answer] : script) {
        ASSERT_TRUE(dialogue.wait_for_output_ending(prompt, 20s))
            << "still waiting for \"" << prompt << "\"; seen so far:\n"
            << dialogue.output();
        dialogue.send(answer);
        typed += answer;
    }
    const support::Outcome interactive = dialogue.finish(20s);
    ASSERT_FALSE(interactive.timed_out);
    const support::Outcome batch = support::run_program(support::executable_path(GetParam()), typed);
    EXPECT_EQ(interactive.out, batch.out);
    EXPECT_EQ(interactive.exit_code, 0);
}

INSTANTIATE_TEST_SUITE_P(All, PromptingProgram, testing::ValuesIn(prompting_executables()), test_name);

}  // namespace
