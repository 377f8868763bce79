#include "tests/support/program_run.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "tests/support/temp_dir.h"

namespace tandrel::test {

ProgramOutcome RunProgram(const std::string& folder, const std::vector<std::string>& arguments,
                          const std::vector<std::string>& extraEnvironment) {
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
        ::dup2(output, 1);
        ::dup2(output, 2);
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
            ::unsetenv(name);
        }
        for (const std::string& entry : extraEnvironment) {
            ::putenv(const_cast<char*>(entry.c_str()));
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
