// The real program, spawned with an argument list in a folder of its own, with no display.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "tests/support/program_run.h"
#include "tests/support/report_runner.h"
#include "tests/support/temp_dir.h"

namespace tandrel {
namespace {

using test::Bytes;
using test::Lines;
using test::ReadFileText;
using test::TempDir;
using Outcome = test::ProgramOutcome;

Outcome RunProgram(const TempDir& dir, const std::vector<std::string>& arguments) {
    return test::RunProgram(dir.Path().string(), arguments);
}

std::set<std::string> Names(const TempDir& dir) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

class CommandLineRun : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_.Write("a.bin", Bytes{0x41, 0x42, 0x43, 0x44});
        dir_.Write("b.bin", Bytes{0x41, 0x58, 0x59, 0x44});
        dir_.Write("c d.bin", Bytes{0x41, 0x42, 0x43, 0x45});
    }
    static std::string Example(const std::string& first, const std::string& second) {
        return Lines({"Comparing " + first, " and " + second, "Warning: not a PE file!", "",
                      "File offset = 1", "Bytes Size (dec) = 2", "First file bytes: ", "42 43 ",
                      "Second file bytes: ", "58 59 "});
    }
    const std::set<std::string> inputs_ = {"a.bin", "b.bin", "c d.bin"};
    TempDir dir_;
};

TEST_F(CommandLineRun, TwoPathsReportToFileTxt) {
    const Outcome outcome = RunProgram(dir_, {"a.bin", "b.bin"});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.output, "");
    EXPECT_EQ(ReadFileText(dir_.File("file.txt")), Example("a.bin", "b.bin"));
}

TEST_F(CommandLineRun, TokenRulesDecideWhatIsWrittenWhere) {
    struct Case {
        const char* name;
        std::vector<std::string> arguments;
        const char* reportName;  // null: no new file at all
        std::string report;
    };
    const Case cases[] = {
        {"third path names the report",
         {"a.bin", "b.bin", "out.txt"},
         "out.txt",
         Example("a.bin", "b.bin")},
        {"paths with spaces are taken whole",
         {"c d.bin", "b.bin", "my report.txt"},
         "my report.txt",
         Lines({"Comparing c d.bin", " and b.bin", "Warning: not a PE file!", "", "File offset = 1",
                "Bytes Size (dec) = 3", "First file bytes: ", "42 43 45 ",
                "Second file bytes: ", "58 59 44 "})},
        {"a fourth token is ignored",
         {"a.bin", "b.bin", "out.txt", "fourth.txt"},
         "out.txt",
         Example("a.bin", "b.bin")},
        {"empty second token", {"a.bin", ""}, "file.txt", ""},
        {"empty first token", {"", "b.bin"}, "file.txt", ""},
        {"missing input", {"a.bin", "missing.bin"}, "file.txt", ""},
        {"third token of two quotes only writes nowhere", {"a.bin", "b.bin", ""}, nullptr, ""},
        {"report folder does not exist", {"a.bin", "b.bin", "no/such.txt"}, nullptr, ""},
    };
    for (const Case& c : cases) {
        TempDir dir;
        dir.Write("a.bin", ReadFileText(dir_.File("a.bin")));
        dir.Write("b.bin", ReadFileText(dir_.File("b.bin")));
        dir.Write("c d.bin", ReadFileText(dir_.File("c d.bin")));
        const Outcome outcome = RunProgram(dir, c.arguments);
        EXPECT_EQ(outcome.status, 0) << c.name;
        EXPECT_EQ(outcome.output, "") << c.name;
        std::set<std::string> expected = inputs_;
        if (c.reportName != nullptr) {
            expected.insert(c.reportName);
            EXPECT_EQ(ReadFileText(dir.File(c.reportName)), c.report) << c.name;
        }
        EXPECT_EQ(Names(dir), expected) << c.name;
    }
}

TEST_F(CommandLineRun, DialogBranchWithoutDisplayExitsOneSilently) {
    const std::vector<std::vector<std::string>> dialogArguments = {
        {}, {"a.bin"}, {"c d.bin"}, {"a.bin\tb.bin"}};
    for (const auto& arguments : dialogArguments) {
        const Outcome outcome = RunProgram(dir_, arguments);
        EXPECT_EQ(outcome.status, 1) << arguments.size();
        EXPECT_EQ(outcome.output, "");
        EXPECT_EQ(Names(dir_), inputs_);
    }
}

TEST_F(CommandLineRun, ReportPathNamingAnInputLeavesItUnchanged) {
    std::filesystem::create_symlink(dir_.File("b.bin"), dir_.File("link.bin"));
    const std::string before = ReadFileText(dir_.File("b.bin"));
    for (const char* report : {"a.bin", "b.bin", "./b.bin", "link.bin"}) {
        const Outcome outcome = RunProgram(dir_, {"a.bin", "b.bin", report});
        EXPECT_EQ(outcome.status, 0) << report;
        EXPECT_EQ(ReadFileText(dir_.File("b.bin")), before) << report;
        EXPECT_EQ(ReadFileText(dir_.File("a.bin")), "ABCD") << report;
    }
    EXPECT_FALSE(test::FileExists(dir_.File("file.txt")));
}

TEST_F(CommandLineRun, ExistingReportIsReplaced) {
    dir_.Write("out.txt", std::string(5000, 'x'));
    EXPECT_EQ(RunProgram(dir_, {"a.bin", "b.bin", "out.txt"}).status, 0);
    EXPECT_EQ(ReadFileText(dir_.File("out.txt")), Example("a.bin", "b.bin"));
}

}  // namespace
}  // namespace tandrel
