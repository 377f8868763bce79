#include "tests/cli/windows_launcher.h"

#include <windows.h>

#include <algorithm>
#include <string>

namespace tandrel::test {

ProcessOutcome RunProcess(const std::string& program, const std::string& commandLine,
                          const std::string& workDir, uint32_t timeoutMs) {
    ProcessOutcome outcome;
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    // CreateProcessA may write into the command-line buffer, so it gets a copy of its own.
    std::string line = commandLine;
    outcome.started = ::CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0,
                                       nullptr, workDir.c_str(), &startup, &info);
    if (outcome.started) {
        DWORD code = 0;
        outcome.ended = ::WaitForSingleObject(info.hProcess, timeoutMs) == WAIT_OBJECT_0 &&
                        ::GetExitCodeProcess(info.hProcess, &code);
        outcome.exitCode = code;
        ::TerminateProcess(info.hProcess, 255);
        ::CloseHandle(info.hThread);
        ::CloseHandle(info.hProcess);
    }
    return outcome;
}

std::string WindowsPath(std::string buildPath) {
    std::replace(buildPath.begin(), buildPath.end(), '/', '\\');
    return buildPath.rfind('\\', 0) == 0 ? "Z:" + buildPath : buildPath;
}

}  // namespace tandrel::test
