// Starts a Windows program with an exact command-line string, as a shell or another program
// would.
#pragma once

#include <cstdint>
#include <string>

namespace tandrel::test {

struct ProcessOutcome {
    bool started = false;
    bool ended = false;  // on its own, within the time allowed
    uint32_t exitCode = 0;
};

// Runs program (a full path) with commandLine handed over unchanged as its whole command line,
// in workDir, and waits up to timeoutMs; one that still runs then is terminated.
ProcessOutcome RunProcess(const std::string& program, const std::string& commandLine,
                          const std::string& workDir, uint32_t timeoutMs = 20000);

// A path from the build as Windows sees it: backslashes, and a Unix absolute path (a cross
// build run under Wine) on the Z: drive, where Wine maps the Unix root.
std::string WindowsPath(std::string buildPath);

}  // namespace tandrel::test
