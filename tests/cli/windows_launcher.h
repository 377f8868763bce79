// Starts a Windows program with an exact command-line string, as a shell or another program
// would, and files handled with the same 8-bit (ANSI) names the program itself uses.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tandrel::test {

struct ProcessOutcome {
    bool started = false;
    // Ended on its own, or once its windows were closed, within the time allowed.
    bool ended = false;
    uint32_t exitCode = 0;
    // The program showed a top-level window, which was sent WM_CLOSE so that the run could end.
    bool showedWindow = false;
};

// Runs program (a full path) with commandLine handed over unchanged as its whole command line,
// in workDir, and waits up to timeoutMs. A program that shows a window meanwhile has it closed;
// one that still runs at the end is terminated and reported as not ended.
ProcessOutcome RunProcess(const std::string& program, const std::string& commandLine,
                          const std::string& workDir, uint32_t timeoutMs = 20000);

// A path from the build as Windows sees it: backslashes, and a Unix absolute path (a cross
// build run under Wine) on the Z: drive, where Wine maps the Unix root.
std::string WindowsPath(std::string buildPath);

// Whole files through the A-suffix calls, so names with codes above 127 mean what they mean to
// the program under test. ReadAnsiFile returns false when the file cannot be read.
bool WriteAnsiFile(const std::string& path, const std::string& bytes);
bool ReadAnsiFile(const std::string& path, std::string& bytes);

// The names in a folder, sorted, without "." and "..".
std::vector<std::string> ListFolder(const std::string& folder);

}  // namespace tandrel::test
