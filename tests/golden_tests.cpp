// Golden dialogues: for every program, files under golden/<program>/ hold
// an input (<case>.in), the exact bytes expected on standard output
// (<case>.out) and, when it is not 0, the exit status (<case>.status); the
// program's sample, samples/<program>.in, is one more case with its own
// .out beside it.  Every case runs against every build of its program; a
// program without cases fails.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "process.hpp"
#include "suite_programs.hpp"

namespace {

namespace fs = std::filesystem;

// The inputs of one program's cases, in name order.
std::vector<fs::path> golden_inputs(const std::string& program) {
    std::vector<fs::path> inputs;
    for (const auto& file : fs::directory_iterator(fs::path(suite_programs::golden_dir) / program)) {
        if (file.path().extension() == ".in") inputs.push_back(file.path());
    }
    std::sort(inputs.begin(), inputs.end());
    return inputs;
}

std::string build_name(const testing::TestParamInfo<std::string>& info) { return info.param; }

class Golden : public testing::TestWithParam<std::string> {};

TEST_P(Golden, EveryCaseMatchesByteForByte) {
    const std::string& executable = GetParam();
    const std::string program = support::program_of(executable);
    std::vector<fs::path> inputs = golden_inputs(program);
    ASSERT_FALSE(inputs.empty());
    inputs.push_back(fs::path(suite_programs::samples_dir) / (program + ".in"));
    for (const fs::path& input : inputs) {
        SCOPED_TRACE(executable + " < " + input.string());
        fs::path expected_out = input;
        expected_out.replace_extension(".out");
        fs::path status_file = input;
        status_file.replace_extension(".status");
        const int expected_status = fs::exists(status_file) ? std::stoi(support::read_file(status_file)) : 0;

        // factorials' large-n case counts 2^31 factors: about three minutes
        // for its b0 under MemorySanitizer, which tracks every one.
        support::RunOptions options;
        options.timeout = std::chrono::seconds(900);
        const support::Outcome outcome =
            support::run_program(support::executable_path(executable), support::read_file(input), options);
        ASSERT_FALSE(outcome.timed_out);
        ASSERT_EQ(outcome.signal, 0);
        EXPECT_EQ(outcome.out, support::read_file(expected_out));
        EXPECT_EQ(outcome.exit_code, expected_status);
        EXPECT_EQ(outcome.err, "");
    }
}

INSTANTIATE_TEST_SUITE_P(Dialogues, Golden, testing::ValuesIn(support::all_executables()), build_name);

}  // namespace
