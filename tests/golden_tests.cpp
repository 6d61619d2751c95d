// Golden dialogues: for every program, files under golden/<program>/ hold
// an input (<case>.in), the exact bytes expected on standard output
// (<case>.out) and, when it is not 0, the exit status (<case>.status).
// Every case runs against every build of its program.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "process.hpp"
#include "suite_programs.hpp"

namespace {

namespace fs = std::filesystem;

struct GoldenCase {
    std::string executable;
    fs::path input;  // <case>.in; the other files sit beside it
};

void PrintTo(const GoldenCase& golden, std::ostream* out) { *out << golden.executable << " < " << golden.input; }

std::string slurp(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::vector<GoldenCase> all_cases() {
    std::vector<GoldenCase> cases;
    for (const auto& folder : fs::directory_iterator(fs::path(suite_programs::golden_dir))) {
        if (!folder.is_directory()) continue;
        std::vector<fs::path> inputs;
        for (const auto& file : fs::directory_iterator(folder.path())) {
            if (file.path().extension() == ".in") inputs.push_back(file.path());
        }
        std::sort(inputs.begin(), inputs.end());
        for (const std::string& executable : support::builds_of(folder.path().filename().string())) {
            for (const fs::path& input : inputs) cases.push_back({executable, input});
        }
    }
    return cases;
}

std::string case_name(const testing::TestParamInfo<GoldenCase>& info) {
    std::string name = info.param.executable + "_" + info.param.input.stem().string();
    std::replace_if(name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
    return name;
}

class Golden : public testing::TestWithParam<GoldenCase> {};

TEST_P(Golden, OutputAndExitStatusMatchByteForByte) {
    const GoldenCase& golden = GetParam();
    fs::path expected_out = golden.input;
    expected_out.replace_extension(".out");
    fs::path status_file = golden.input;
    status_file.replace_extension(".status");
    const int expected_status = fs::exists(status_file) ? std::stoi(slurp(status_file)) : 0;

    const support::Outcome outcome = support::run_program(support::executable_path(golden.executable), slurp(golden.input));
    ASSERT_FALSE(outcome.timed_out);
    ASSERT_EQ(outcome.signal, 0);
    EXPECT_EQ(outcome.out, slurp(expected_out));
    EXPECT_EQ(outcome.exit_code, expected_status);
    EXPECT_EQ(outcome.err, "");
}

INSTANTIATE_TEST_SUITE_P(Dialogues, Golden, testing::ValuesIn(all_cases()), case_name);

TEST(GoldenCorpus, EveryProgramHasCases) {
    for (const std::string& executable : support::all_executables()) {
        const std::string program = executable.substr(0, executable.rfind("_b"));
        const fs::path folder = fs::path(suite_programs::golden_dir) / program;
        EXPECT_TRUE(fs::is_directory(folder)) << program << " has no golden dialogues";
    }
}

}  // namespace
