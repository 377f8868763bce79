// The real program, spawned with an argument list and no display, for the end-to-end tests and
// for comparing the dialog's text with the headless report.
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace tandrel::test {

struct ProgramOutcome {
    int status = -1;     // the exit status, or 128 and the signal that ended it
    std::string output;  // what it printed: stderr, and stdout unless that went to a file
};

// Runs the program in folder with the arguments and without DISPLAY, WAYLAND_DISPLAY and
// QT_QPA_PLATFORM, and waits for it. With appendTo, its standard output is that file of the
// folder, opened for appending as a shell's ">>" opens it.
inline ProgramOutcome RunProgram(const std::string& folder,
                                 const std::vector<std::string>& arguments,
                                 const std::string& appendTo = "") {
    std::vector<const char*> argv{TANDREL_BINARY};
    for (const std::string& argument : arguments) {
        argv.push_back(argument.c_str());
    }
    argv.push_back(nullptr);
    const TempDir outputDir;
    const std::string outputPath = outputDir.File("output");
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int output = ::open(outputPath.c_str(), O_WRONLY | O_CREAT, 0600);
        const std::string stdoutPath = folder + "/" + appendTo;
        ::dup2(appendTo.empty() ? output : ::open(stdoutPath.c_str(), O_WRONLY | O_APPEND), 1);
        ::dup2(output, 2);
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
            ::unsetenv(name);
        }
        if (::chdir(folder.c_str()) == 0) {
            ::execv(TANDREL_BINARY, const_cast<char* const*>(argv.data()));
        }
        ::_exit(127);
    }
    ProgramOutcome outcome;
    int status = 0;
    if (pid > 0 && ::waitpid(pid, &status, 0) == pid) {
        outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    outcome.output = ReadFileText(outputPath);
    return outcome;
}

}  // namespace tandrel::test
