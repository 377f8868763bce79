// The program end to end through whole Windows command lines: each case starts tandrel.exe with
// an exact command-line string in a folder of inputs, then checks its exit status and every file
// the folder holds afterwards, byte for byte.
#include <gtest/gtest.h>

#include <map>

#include "tests/cli/windows_launcher.h"
#include "tests/support/temp_dir.h"

namespace tandrel::test {
namespace {

using Files = std::map<std::string, std::string>;

const std::string kReport =
    "Comparing a.bin\r\n and b.bin\r\nWarning: not a PE file!\r\n\r\nFile offset = 1\r\n"
    "Bytes Size (dec) = 2\r\nFirst file bytes: \r\n42 43 \r\nSecond file bytes: \r\n58 59 \r\n";

TEST(WindowsCommandLine, ExitStatusAndFiles) {
    const struct {
        std::string commandLine;
        uint32_t status;
        Files written;
    } cases[] = {
        // The name's closing quote ends it even with no blank after it.
        {"\"C:\\Program Files\\tandrel.exe\"a.bin b.bin", 0, {{"file.txt", kReport}}},
        {"t.exe a.bin\tb.bin", 1, {}},  // one token: the dialog, which has no display here
        {"t\xE9.exe a.bin b.bin out.txt", 0, {{"out.txt", kReport}}},  // never a blank
        {"t.exe a.bin b.bin \"\"", 0, {}},  // the report name strips to nothing
        {"t.exe a.bin missing.bin", 2, {{"file.txt", ""}}},
        {"t.exe a.bin b.bin no\\such.txt", 2, {}},
        {"t.exe a.bin b.bin .\\B.BIN", 2, {}},
        {"t.exe ghost b.bin ghost", 2, {}},
    };
    for (const auto& c : cases) {
        TempDir dir;
        dir.Write("a.bin", "ABCD");
        dir.Write("b.bin", "AXYD");
        const ProcessOutcome outcome =
            RunProcess(WindowsPath(TANDREL_EXE), c.commandLine, dir.Path().string());
        ASSERT_TRUE(outcome.started && outcome.ended) << c.commandLine;
        EXPECT_EQ(outcome.exitCode, c.status) << c.commandLine;
        Files files = c.written, found;
        files.insert({{"a.bin", "ABCD"}, {"b.bin", "AXYD"}});
        for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
            found[entry.path().filename().string()] = ReadFileText(entry.path().string());
        }
        EXPECT_EQ(found, files) << c.commandLine;
    }
}

}  // namespace
}  // namespace tandrel::test
