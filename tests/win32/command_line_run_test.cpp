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
// Names with codes above 127: a no-break space and an e with acute accent in the ANSI code page.
const std::string kHighA = std::string("\xA0") + "a.bin";
const std::string kHighB = std::string("\xE9") + "b.bin";
const std::string kHighReport = "r\xE9sum\xE9.txt";
const std::map<std::string, std::string> kInputs = {
    {"a.bin", kFirst},     {"b.bin", kSecond}, {"my a.bin", kFirst},
    {"my b.bin", kSecond}, {kHighA, kFirst},   {kHighB, kSecond},
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

// The program's name as a command line spells it. The launcher names the program to start
// separately, so these need not be its real path: the quoted one holds a space on purpose.
const std::string kQuotedName = "\"C:\\Program Files\\Tandrel\\tandrel.exe\"";
const std::string kName = "tandrel.exe";

// The dialog branch's window cannot be made without a display: that run exits 1.
constexpr uint32_t kHeadless = 0;
constexpr uint32_t kDialogWithoutDisplay = 1;

struct Case {
    const char* name;
    std::string commandLine;
    uint32_t exitCode;
    // Every file the run must leave beside the inputs; none for the dialog branch.
    std::map<std::string, std::string> written;
};

void PrintTo(const Case& c, std::ostream* out) {
    *out << c.name;
}

// Run with no X display (the tests are not labelled "gui"): with one, Wine would show the dialog
// branch's window, and the launcher would have to close it.
class CommandLineRun : public testing::TestWithParam<Case> {};

TEST_P(CommandLineRun, WritesExactlyTheExpectedFiles) {
    const Case& c = GetParam();
    RunFolder folder;
    const ProcessOutcome outcome = RunProcess(kProgram, c.commandLine, folder.Path());
    ASSERT_TRUE(outcome.started) << "CreateProcessA failed: " << GetLastError();
    ASSERT_TRUE(outcome.ended) << "still running at the time limit";
    EXPECT_FALSE(outcome.showedWindow);
    EXPECT_EQ(outcome.exitCode, c.exitCode);
    EXPECT_EQ(folder.NewFiles(), c.written);
}

const std::map<std::string, std::string> kNothing;

INSTANTIATE_TEST_SUITE_P(
    WholeCommandLines, CommandLineRun,
    testing::Values(
        // The name's closing quote ends it even with no blank after it.
        Case{"QuotedNameDirectlyFollowedByFirstPath",
             kQuotedName + "a.bin b.bin",
             kHeadless,
             {{"file.txt", Report("a.bin", "b.bin")}}},
        // Any code from 1 to 32 ends an unquoted name, and all of them after it are skipped.
        Case{"BlanksOfEveryKindAfterTheName",
             kName + "\t\x1F \x01"
                     "a.bin b.bin",
             kHeadless,
             {{"file.txt", Report("a.bin", "b.bin")}}},
        // The name runs to the end of the line: the argument text is empty.
        Case{"UnclosedQuoteAroundTheName",
             kQuotedName.substr(0, kQuotedName.size() - 1) + " a.bin b.bin", kDialogWithoutDisplay,
             kNothing},
        Case{"UnclosedQuoteOpeningTheSecondPath",
             kName + " a.bin \"b.bin",
             kHeadless,
             {{"file.txt", Report("a.bin", "b.bin")}}},
        // Only a space separates tokens: one token, so the dialog branch and no report.
        Case{"TabBetweenTwoPaths", kName + " a.bin\tb.bin", kDialogWithoutDisplay, kNothing},
        Case{"OneQuotedPathAlone", kName + " \"my a.bin\"", kDialogWithoutDisplay, kNothing},
        Case{"CodesAbove127InEveryPath",
             kName + " " + kHighA + " " + kHighB + " " + kHighReport,
             kHeadless,
             {{kHighReport, Report(kHighA, kHighB)}}},
        // Were such a code taken for a blank, the rest of the name would become the first path.
        Case{"CodeAbove127InsideAnUnquotedName",
             "tandr\xE9l.exe a.bin b.bin",
             kHeadless,
             {{"file.txt", Report("a.bin", "b.bin")}}},
        Case{"ThreeQuotedPathsWithSpaces",
             kName + " \"my a.bin\" \"my b.bin\" \"my report.txt\"",
             kHeadless,
             {{"my report.txt", Report("my a.bin", "my b.bin")}}},
        Case{"FourTokens",
             kName + " a.bin b.bin out.txt extra.txt",
             kHeadless,
             {{"out.txt", Report("a.bin", "b.bin")}}},
        Case{"TwoPathsAndOneSpace",
             kName + " a.bin b.bin ",
             kHeadless,
             {{"file.txt", Report("a.bin", "b.bin")}}},
        // The report name strips to nothing and cannot be opened: nothing is written anywhere.
        Case{"TwoQuotesAsThirdToken", kName + " a.bin b.bin \"\"", kHeadless, kNothing},
        // The second path is empty: the report file is created and stays empty.
        Case{"OneTokenAndOneSpace", kName + " a.bin ", kHeadless, {{"file.txt", ""}}},
        Case{"FirstTokenOfTwoQuotes", kName + " \"\" b.bin", kHeadless, {{"file.txt", ""}}}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tandrel::test
