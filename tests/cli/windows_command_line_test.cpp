// The program end to end through whole Windows command lines: each case starts tandrel.exe with
// an exact command-line string through CreateProcessA in a folder of inputs, as a shell or
// another program would, then checks its exit status and every file the folder holds
// afterwards, byte for byte.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <map>

#include "tests/support/temp_dir.h"

namespace tandrel::test {
namespace {

using Files = std::map<std::string, std::string>;

const std::string kReport =
    "Comparing a.bin\r\n and b.bin\r\nWarning: not a PE file!\r\n\r\nFile offset = 1\r\n"
    "Bytes Size (dec) = 2\r\nFirst file bytes: \r\n42 43 \r\nSecond file bytes: \r\n58 59 \r\n";

// The exit code of the program started with commandLine, unchanged, as its whole command line;
// -1 when it cannot start, 259 (STILL_ACTIVE) when it still runs after 20 seconds.
int64_t RunProcess(const std::string& commandLine, const std::string& workDir) {
    // The build's path as Windows sees it: a Unix absolute path (under Wine) is on drive Z:.
    std::string program = TANDREL_EXE;
    std::replace(program.begin(), program.end(), '/', '\\');
    program = program.rfind('\\', 0) == 0 ? "Z:" + program : program;
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    // CreateProcessA may write into the command-line buffer, so it gets a copy of its own.
    std::string line = commandLine;
    if (!::CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          workDir.c_str(), &startup, &info)) {
        return -1;
    }
    DWORD code = 0;
    ::WaitForSingleObject(info.hProcess, 20000);
    ::GetExitCodeProcess(info.hProcess, &code);
    ::TerminateProcess(info.hProcess, 255);
    ::CloseHandle(info.hThread);
    ::CloseHandle(info.hProcess);
    return code;
}

TEST(WindowsCommandLine, ExitStatusAndFiles) {
    const struct {
        std::string commandLine;
        int64_t status;
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
        EXPECT_EQ(RunProcess(c.commandLine, dir.Path().string()), c.status) << c.commandLine;
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
