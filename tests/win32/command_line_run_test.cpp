// The program end to end through whole Windows command lines: each case starts tandrel.exe with
// an exact command-line string in a folder of inputs, then checks its exit status and every file
// the folder holds afterwards, byte for byte.
#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"
#include "tests/win32/process_launcher.h"

namespace tandrel::test {
namespace {

const std::string kProgram = WindowsPath(TANDREL_EXE);

// Every case starts with the same inputs: names beginning with "a" or "my a" (after any codes
// above 127) hold the first content, the others the second.
const std::string kFirst = "ABCD";
const std::string kSecond = "AXYD";
const std::map<std::string, std::string> kInputs = {
    {"a.bin", kFirst},
    {"b.bin", kSecond},
    {"my a.bin", kFirst},
    {"my b.bin", kSecond},
    {"\xA0"
     "a.bin",
     kFirst},
    {"\xE9"
     "b.bin",
     kSecond},
};

// The report of kFirst against kSecond as the text-mode report file stores it.
std::string Report(const std::string& first, const std::string& second) {
    return "Comparing " + first + "\r\n and " + second +
           "\r\n"
           "Warning: not a PE file!\r\n"
           "\r\n"
           "File offset = 1\r\n"
           "Bytes Size (dec) = 2\r\n"
           "First file bytes: \r\n"
           "42 43 \r\n"
           "Second file bytes: \r\n"
           "58 59 \r\n";
}

class RunFolder {
  public:
    RunFolder() : path_(dir_.Path().string()) {
        for (const auto& [name, bytes] : kInputs) {
            EXPECT_TRUE(WriteAnsiFile(File(name), bytes)) << name;
        }
    }
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "\\" + name; }

    // What the run added to the folder, with each new file's bytes.
    std::map<std::string, std::string> NewFiles() const {
        std::map<std::string, std::string> files;
        for (const std::string& name : ListFolder(path_)) {
            if (kInputs.count(name) == 0) {
                EXPECT_TRUE(ReadAnsiFile(File(name), files[name])) << name;
            }
        }
        return files;
    }

  private:
    TempDir dir_;
    std::string path_;
};

struct Case {
    const char* name;
    // "%P" stands for the program's full path.
    std::string commandLine;
    // Every file the run must leave beside the inputs; none for the dialog branch.
    std::map<std::string, std::string> written;
};

void PrintTo(const Case& c, std::ostream* out) {
    *out << c.name;
}

std::string Expand(std::string line) {
    const size_t at = line.find("%P");
    return at == std::string::npos ? line : line.replace(at, 2, kProgram);
}

class CommandLineRun : public testing::TestWithParam<Case> {};

TEST_P(CommandLineRun, WritesExactlyTheExpectedFiles) {
    const Case& c = GetParam();
    RunFolder folder;
    const ProcessOutcome outcome = RunProcess(kProgram, Expand(c.commandLine), folder.Path());
    ASSERT_TRUE(outcome.started) << "CreateProcessA failed: " << GetLastError();
    ASSERT_TRUE(outcome.ended) << "still running at the time limit";
    EXPECT_EQ(outcome.exitCode, 0u);
    EXPECT_EQ(folder.NewFiles(), c.written);
}

const std::map<std::string, std::string> kNothing;

INSTANTIATE_TEST_SUITE_P(
    WholeCommandLines, CommandLineRun,
    testing::Values(
        // The name's closing quote ends it even with no blank after it.
        Case{"QuotedNameDirectlyFollowedByFirstPath",
             "\"%P\"a.bin b.bin",
             {{"file.txt", Report("a.bin", "b.bin")}}},
        // Any code from 1 to 32 ends an unquoted name, and all of them after it are skipped.
        Case{"BlanksOfEveryKindAfterTheName",
             "%P\t\x1F \x01"
             "a.bin b.bin",
             {{"file.txt", Report("a.bin", "b.bin")}}},
        // The name runs to the end of the line: the argument text is empty.
        Case{"UnclosedQuoteAroundTheName", "\"%P a.bin b.bin", kNothing},
        Case{"UnclosedQuoteOpeningTheSecondPath",
             "%P a.bin \"b.bin",
             {{"file.txt", Report("a.bin", "b.bin")}}},
        // Only a space separates tokens: one token, so the dialog branch and no report.
        Case{"TabBetweenTwoPaths", "%P a.bin\tb.bin", kNothing},
        Case{"OneQuotedPathAlone", "%P \"my a.bin\"", kNothing},
        Case{"CodesAbove127InEveryPath",
             "%P \xA0"
             "a.bin \xE9"
             "b.bin r\xE9sum\xE9.txt",
             {{"r\xE9sum\xE9.txt", Report("\xA0"
                                          "a.bin",
                                          "\xE9"
                                          "b.bin")}}},
        Case{"ThreeQuotedPathsWithSpaces",
             "%P \"my a.bin\" \"my b.bin\" \"my report.txt\"",
             {{"my report.txt", Report("my a.bin", "my b.bin")}}},
        Case{"FourTokens",
             "%P a.bin b.bin out.txt extra.txt",
             {{"out.txt", Report("a.bin", "b.bin")}}},
        Case{"TwoPathsAndOneSpace", "%P a.bin b.bin ", {{"file.txt", Report("a.bin", "b.bin")}}},
        // The report name strips to nothing and cannot be opened: nothing is written anywhere.
        Case{"TwoQuotesAsThirdToken", "%P a.bin b.bin \"\"", kNothing},
        // The second path is empty: the report file is created and stays empty.
        Case{"OneTokenAndOneSpace", "%P a.bin ", {{"file.txt", ""}}},
        Case{"FirstTokenOfTwoQuotes", "%P \"\" b.bin", {{"file.txt", ""}}}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

// A program name with a code above 127 in it is one word: were that code taken for a blank, the
// rest of the name would become the first path.
TEST(CommandLineRunName, CodeAbove127InsideAnUnquotedName) {
    RunFolder folder;
    const std::string copy = folder.File("tandr\xE9l.exe");
    ASSERT_TRUE(CopyFileA(kProgram.c_str(), copy.c_str(), TRUE)) << GetLastError();
    const ProcessOutcome outcome = RunProcess(copy, "tandr\xE9l.exe a.bin b.bin", folder.Path());
    ASSERT_TRUE(outcome.ended);
    EXPECT_EQ(outcome.exitCode, 0u);
    const std::map<std::string, std::string> expected = {{"file.txt", Report("a.bin", "b.bin")},
                                                         {"tandr\xE9l.exe", ""}};
    std::map<std::string, std::string> files = folder.NewFiles();
    files["tandr\xE9l.exe"].clear();  // the copy itself: only its presence matters
    EXPECT_EQ(files, expected);
}

}  // namespace
}  // namespace tandrel::test
