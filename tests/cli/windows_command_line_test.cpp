// The program end to end through whole Windows command lines: each case starts tandrel.exe with
// an exact command-line string in a folder of inputs, then checks its exit status and every file
// the folder holds afterwards, byte for byte.
#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <string>

#include "tests/cli/windows_launcher.h"
#include "tests/support/temp_dir.h"

namespace tandrel::test {
namespace {

using Files = std::map<std::string, std::string>;

// Names with codes above 127: a no-break space and an e with acute accent in the ANSI code page.
const std::string kHighA =
    "\xA0"
    "a.bin";
const Files kInputs = {{"a.bin", "ABCD"}, {"b.bin", "AXYD"}, {kHighA, "ABCD"}};

std::string Report(const std::string& first) {
    return "Comparing " + first +
           "\r\n and b.bin\r\nWarning: not a PE file!\r\n\r\nFile offset = 1\r\n"
           "Bytes Size (dec) = 2\r\nFirst file bytes: \r\n42 43 \r\nSecond file bytes: \r\n"
           "58 59 \r\n";
}

TEST(WindowsCommandLine, ExitStatusAndFiles) {
    const struct {
        std::string commandLine;
        uint32_t status;
        Files written;
    } cases[] = {
        // The name's closing quote ends it even with no blank after it.
        {"\"C:\\Program Files\\tandrel.exe\"a.bin b.bin", 0, {{"file.txt", Report("a.bin")}}},
        {"t.exe a.bin\tb.bin", 1, {}},  // one token: the dialog, which has no display here
        {"t\xE9.exe " + kHighA + " b.bin r\xE9sum\xE9.txt",
         0,
         {{"r\xE9sum\xE9.txt", Report(kHighA)}}},
        {"t.exe a.bin b.bin \"\"", 0, {}},  // the report name strips to nothing
        {"t.exe a.bin missing.bin", 2, {{"file.txt", ""}}},
        {"t.exe a.bin NUL", 2, {{"file.txt", ""}}},
        {"t.exe a.bin . out.txt", 2, {{"out.txt", ""}}},
        {"t.exe a.bin b.bin no\\such.txt", 2, {}},
        {"t.exe a.bin b.bin .\\B.BIN", 2, {}},
        {"t.exe ghost b.bin ghost", 2, {}},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const std::string folder = dir.Path().string();
        for (const auto& [name, bytes] : kInputs) {
            ASSERT_TRUE(WriteAnsiFile(folder + "\\" + name, bytes));
        }
        const ProcessOutcome outcome = RunProcess(WindowsPath(TANDREL_EXE), c.commandLine, folder);
        ASSERT_TRUE(outcome.started && outcome.ended) << c.commandLine;
        EXPECT_FALSE(outcome.showedWindow);
        EXPECT_EQ(outcome.exitCode, c.status) << c.commandLine;
        Files files;
        for (const std::string& name : ListFolder(folder)) {
            EXPECT_TRUE(ReadAnsiFile(folder + "\\" + name, files[name])) << name;
        }
        Files expected = kInputs;
        expected.insert(c.written.begin(), c.written.end());
        EXPECT_EQ(files, expected) << c.commandLine;
    }
}

}  // namespace
}  // namespace tandrel::test
