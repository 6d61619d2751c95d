// What every program promises alike: failed writes and reads reported,
// a closed pipe ending quietly, unread input left for the next reader, the
// C library's own reading of numbers, and a start-up that loads nothing
// beyond the C library.

#include <gtest/gtest.h>
#include <linux/kcmp.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
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
// Nothing reads or writes a descriptor itself.
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

// Input that could not be read is no end of input: the run goes on as at
// the end of input and then ends with status 255 and one line.
TEST_P(EveryProgram, FailedReadsEndWithStatus255AndOneLine) {
    const support::Outcome at_end = support::run_program(path(), "");
    for (const auto source : {support::InputSource::nonblocking_pipe, support::InputSource::nonblocking_terminal,
                              support::InputSource::hung_up_terminal, support::InputSource::write_only_file}) {
        support::RunOptions options;
        options.input = source;
        if (source == support::InputSource::write_only_file) options.output = support::OutputTarget::input_file;
        const support::Outcome outcome = support::run_program(path(), "", options);
        const std::string shown = "input source " + std::to_string(static_cast<int>(source));
        EXPECT_EQ(outcome.signal, 0) << shown;
        EXPECT_EQ(outcome.exit_code, 255) << shown;
        EXPECT_EQ(outcome.err, "error: reading standard input failed\n") << shown;
        const std::string& out = source == support::InputSource::write_only_file ? outcome.input_file : outcome.out;
        EXPECT_EQ(out, at_end.out) << shown;
    }
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

// What the C library alone leaves in a file that is both standard input
// and output, and what the next reader of the input's open file finds. One
// open file, as "program <> file >&0": the output lands behind the input
// read ahead (all of it, for the inputs here), and the offset stays behind
// the output, for giving unread input back would move it over the output;
// a program that printed nothing gives its unread input back. The same
// file opened a second time for the output: the output goes where that
// open file puts it, at the end or laid over the input from byte 0, and the
// next reader reads on just past the characters consumed.
struct Left {
    std::string file, next;
};

Left left_by_the_c_library(support::OutputTarget output, const std::string& input, const std::string& unread,
                           const std::string& out) {
    if (output == support::OutputTarget::input_file) return {input + out, out.empty() ? unread : ""};
    std::string file = input + out;
    if (output == support::OutputTarget::input_file_overwritten) {
        file = out.size() >= input.size() ? out : out + input.substr(out.size());
    }
    const std::size_t consumed = input.size() - unread.size();
    return {file, consumed < file.size() ? file.substr(consumed) : ""};
}

struct Shape {
    std::string shown;
    support::InputSource input;
    support::OutputTarget output;
};

const Shape one_open_file{"program <> f >&0", support::InputSource::file, support::OutputTarget::input_file};
const Shape appended_on_descriptor_3{"exec 3< f; program <&3 >> f", support::InputSource::read_only_descriptor_3,
                                     support::OutputTarget::input_file_appended};
const Shape appended{"program < f >> f", support::InputSource::read_only_file,
                     support::OutputTarget::input_file_appended};
const Shape overwritten{"program < f 1<> f", support::InputSource::read_only_file,
                        support::OutputTarget::input_file_overwritten};

// Runs `path` on `input` in the shape and checks the file and what the next
// reader finds against `alone`, the run on the file by itself.
void expect_as_the_c_library(const std::string& path, const std::string& input, const Shape& shape,
                             const support::Outcome& alone, const std::string& shown, bool refuse_kcmp = false) {
    support::RunOptions options;
    options.input = shape.input;
    options.output = shape.output;
    options.refuse_kcmp = refuse_kcmp;
    const support::Outcome run = support::run_program(path, input, options);
    const std::string where = shown + ", " + shape.shown + (refuse_kcmp ? ", kcmp refused" : "");
    const Left left = left_by_the_c_library(shape.output, input, alone.unread_input, alone.out);
    EXPECT_EQ(run.signal, 0) << where;
    EXPECT_EQ(run.exit_code, alone.exit_code) << where;
    EXPECT_EQ(run.err, alone.err) << where;
    EXPECT_TRUE(run.input_file == left.file) << where << " left:\n" << run.input_file.substr(0, 300);
    EXPECT_TRUE(run.unread_input == left.next) << where << " next reader got:\n" << run.unread_input.substr(0, 300);
}

TEST(EveryProgramOnAFile, LeavesWhatItDidNotReadForTheNextReader) {
    for (const Leftover& row : leftovers()) {
        for (const std::string& executable : support::builds_of(row.program)) {
            const std::string path = support::executable_path(executable);
            const std::string shown = executable + " < \"" + row.input.substr(0, 40) + "\"";
            const support::Outcome alone = support::run_program(path, row.input);
            EXPECT_EQ(alone.signal, 0) << shown;
            EXPECT_EQ(alone.unread_input, row.unread) << shown;
            for (const Shape& shape : {one_open_file, appended_on_descriptor_3, appended, overwritten}) {
                expect_as_the_c_library(path, row.input, shape, alone, shown);
            }
        }
    }
}

// kcmp as a program makes it, with the filter of system calls that refuses
// it: 0 where the call failed with EPERM, 1 where it did not, 2 where this
// machine has no such filter.
int kcmp_under_the_filter() {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (!support::refuse_kcmp()) ::_exit(2);
        const long order = ::syscall(SYS_kcmp, ::getpid(), ::getpid(), KCMP_FILE, 0, 0);
        ::_exit(order == -1 && errno == EPERM ? 0 : 1);
    }
    int status = -1;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Where the kernel will not say whether two descriptors are one open file
// (a filter of system calls refuses kcmp; an emulator may lack it), the
// program decides it as the kernel would have: one open file keeps its
// output whole, the same file opened twice gives its input back, also
// where both offsets stand at the same byte (an output as long as the
// input, laid over it); and programs in turn on one descriptor each read on
// where the one before stopped.
TEST(EveryProgramOnAFile, DecidesAsTheKernelWhereItRefusesToCompareOpenFiles) {
    const int filtered = kcmp_under_the_filter();
    if (filtered == 2) GTEST_SKIP() << "no filter of system calls for this machine";
    ASSERT_EQ(filtered, 0) << "kcmp was not refused under the filter";
    struct Row {
        std::string input;
        Shape shape;
    };
    const std::vector<Row> rows = {
        {"5 7 9\n", one_open_file},
        {"10\n11\n", appended},
        {"10" + std::string(46, ' ') + "\n", overwritten},
    };
    for (const std::string& executable : support::builds_of("fib_loop")) {
        const std::string path = support::executable_path(executable);
        for (const Row& row : rows) {
            const std::string shown = executable + " < \"" + row.input.substr(0, 8) + "\"";
            const support::Outcome alone = support::run_program(path, row.input);
            if (row.shape.output == support::OutputTarget::input_file_overwritten) {
                ASSERT_EQ(alone.out.size(), row.input.size()) << shown;
            }
            for (const bool refused : {false, true}) {
                expect_as_the_c_library(path, row.input, row.shape, alone, shown, refused);
            }
        }
        support::RunOptions in_turn;
        in_turn.input = appended_on_descriptor_3.input;
        in_turn.output = appended_on_descriptor_3.output;
        in_turn.runs = 2;
        const std::string answers = support::run_program(path, "10\n").out + support::run_program(path, "11\n").out;
        for (const bool refused : {false, true}) {
            in_turn.refuse_kcmp = refused;
            const support::Outcome outcome = support::run_program(path, "10\n11\n", in_turn);
            const std::string shown = executable + " <&3 >> f twice" + (refused ? ", kcmp refused" : "");
            EXPECT_EQ(outcome.exit_code, 0) << shown;
            EXPECT_EQ(outcome.input_file, "10\n11\n" + answers) << shown;
            EXPECT_EQ(outcome.unread_input, "\n" + answers) << shown;
        }
    }
}

// "{ program; echo NEXT; }" with standard input and output one file: every
// byte of the output stays, and what comes next lands behind it.  "> f
// 0>&1" gives the program a file it cannot read; "<> f >&0" one it reads
// and writes, with output and input shorter and longer than the C
// library's buffer of 4 KiB.
TEST(EveryProgramOnAFile, KeepsItsOutputWhereInputAndOutputShareTheFile) {
    std::string many = "3000";
    for (int i = 0; i < 3000; ++i) many += " " + std::to_string(i * 7919 % 3001);
    struct Row {
        std::string executable;
        support::InputSource input_source;
        std::string input;
    };
    const std::vector<Row> rows = {
        {"fib_loop_b2", support::InputSource::write_only_file, ""},
        {"array_compare_b0", support::InputSource::write_only_file, ""},
        {"fib_loop_b2", support::InputSource::file, "5"},
        {"fib_loop_b0", support::InputSource::file, "5 7 9\n"},
        {"count_down_up_b0", support::InputSource::file, "1000"},
        {"count_down_up_b2", support::InputSource::file, "1000 7\n"},
        {"quick_sort_b1", support::InputSource::file, many + " 4 5\n"},
        {"record_sort_b2", support::InputSource::file, "2 5 21 3 19 7"},
    };
    for (const Row& row : rows) {
        support::RunOptions options;
        options.input = row.input_source;
        options.output = support::OutputTarget::input_file;
        options.written_after = "NEXT\n";
        const std::string path = support::executable_path(row.executable);
        const std::string shown = row.executable + " < \"" + row.input.substr(0, 20) + "\"";
        const support::Outcome shared = support::run_program(path, row.input, options);
        const support::Outcome alone = support::run_program(path, row.input);
        const bool readable = row.input_source == support::InputSource::file;
        EXPECT_EQ(shared.signal, 0) << shown;
        EXPECT_EQ(shared.exit_code, readable ? alone.exit_code : 255) << shown;
        ASSERT_FALSE(alone.out.empty()) << shown;
        // The file holds what the C library had read ahead when the output
        // went out, the whole output and then the next writer's line.
        const std::string ending = alone.out + "NEXT\n";
        ASSERT_GE(shared.input_file.size(), ending.size()) << shown;
        const std::size_t kept = shared.input_file.size() - ending.size();
        EXPECT_TRUE(shared.input_file.ends_with(ending)) << shown << " left:\n" << shared.input_file.substr(0, 300);
        EXPECT_EQ(shared.input_file.substr(0, kept), row.input.substr(0, kept)) << shown;
    }
}

// The reading is the C library's "%i": a lone sign is taken and fails, a
// token that is no number stays unread and fails every later reading, "0x"
// with no hexadecimal digit reads as 0.  A number that cannot be read is 0.
TEST(Reading, IsTheCLibrarysOwn) {
    struct Row {
        std::string input, out;
        int exit_code;
    };
    const std::vector<Row> rows = {
        {"4 5 - 6 7", "0 5 6 7 \n", 0},      {"3 1 x 3 4", "0 0 1 \n", 0},   {"3 0x 5 6", "0 5 6 \n", 0},
        {"3 08 9", "0 8 9 \n", 0},           {"3 +-5 6 7", "-5 0 6 \n", 0},  {"3 -x 5 6", "0 0 0 \n", 0},
        {"3 0x1g 7", "0 0 1 \n", 0},         {"2 0X1F 017", "15 31 \n", 0},  {"3 1", "0 0 1 \n", 0},
        {"x3 1 2", "", 255},                 {"3 + 9 8 7", "0 8 9 \n", 0}, {"3\v1\f2\r3", "1 2 3 \n", 0},
    };
    for (const std::string& executable : support::builds_of("selection_sort")) {
        for (const Row& row : rows) {
            const support::Outcome outcome = support::run_program(support::executable_path(executable), row.input);
            EXPECT_EQ(outcome.out, row.out) << executable << " < \"" << row.input << "\"";
            EXPECT_EQ(outcome.exit_code, row.exit_code) << executable << " < \"" << row.input << "\"";
        }
    }
}

// What "%i" makes of a number beyond the int range is the one reading that
// differs between machines: a 64-bit C library converts it as a 64-bit
// long and keeps the low 32 bits, a 32-bit one converts it as a 32-bit long,
// which saturates.  No number the programs promise anything for is beyond
// that range.
std::int32_t read_beyond_int(const std::string& text, unsigned address_bits) {
    const long long wide = std::strtoll(text.c_str(), nullptr, 0);
    if (address_bits == 64) return static_cast<std::int32_t>(static_cast<std::uint32_t>(wide));
    return static_cast<std::int32_t>(std::clamp<long long>(wide, INT32_MIN, INT32_MAX));
}

TEST(Reading, NumbersBeyondTheIntRangeAsTheMachinesCLibraryReadsThem) {
    const std::vector<std::string> numbers = {"2147483648",  "4294967295", "4294967297",          "-2147483649",
                                              "0xFFFFFFFF", "3000000000", "-99999999999999999999", "0x100000005"};
    for (const std::string& executable : support::builds_of("selection_sort")) {
        const unsigned bits = support::address_bits(executable);
        std::vector<std::int32_t> read;
        std::string input = "8";
        for (const std::string& number : numbers) {
            input += " " + number;
            read.push_back(read_beyond_int(number, bits));
        }
        std::sort(read.begin(), read.end());
        std::string expected;
        for (const std::int32_t value : read) expected += std::to_string(value) + " ";
        const support::Outcome outcome = support::run_program(support::executable_path(executable), input);
        EXPECT_EQ(outcome.out, expected + "\n") << executable << " (" << bits << "-bit)";
    }
}

// On a socket that carries packets the C library reads what one read of
// its buffer (4 KiB) takes of a message, and the kernel drops the rest: a
// count of 3000 sevens in one message of 6004 bytes gives 2046 sevens and
// 954 numbers that were never there, which read as 0.
TEST(Reading, APacketLongerThanTheBufferIsCutByTheKernel) {
    std::string message = "3000";
    for (int i = 0; i < 3000; ++i) message += " 7";
    support::RunOptions options;
    options.input = support::InputSource::packet_socket;
    for (const std::string& executable : support::builds_of("heap_sort")) {
        const support::Outcome outcome = support::run_program(support::executable_path(executable), message, options);
        std::string expected;
        for (int i = 0; i < 954; ++i) expected += "0\n";
        for (int i = 0; i < 2046; ++i) expected += "7\n";
        EXPECT_EQ(outcome.exit_code, 0) << executable;
        EXPECT_TRUE(outcome.out == expected) << executable << " printed " << outcome.out.size() << " bytes";
    }
}

}  // namespace
