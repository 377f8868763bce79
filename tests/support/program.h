// The real Linux program, spawned with an argument list: its exit status and what it printed.
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace tandrel::test {

struct Spawned {
    int status = -1;     // the exit status, or 128 and the signal that ended it
    std::string errors;  // what it wrote to standard error
};

// Runs the program in folder (the current one when empty) with the arguments; its standard input
// is input (a file; /dev/null when empty) and its standard output the file output (/dev/null
// when empty).
inline Spawned RunTandrel(const std::vector<std::string>& arguments, const std::string& folder = "",
                          const std::string& input = "", const std::string& output = "") {
    std::vector<const char*> argv{TANDREL_BINARY};
    for (const std::string& argument : arguments) {
        argv.push_back(argument.c_str());
    }
    argv.push_back(nullptr);
    const TempDir errorsDir;
    const std::string errorsPath = errorsDir.File("errors");
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(::open(input.empty() ? "/dev/null" : input.c_str(), O_RDONLY), 0);
        ::dup2(::open(output.empty() ? "/dev/null" : output.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                      0600),
               1);
        ::dup2(::open(errorsPath.c_str(), O_WRONLY | O_CREAT, 0600), 2);
        if (folder.empty() || ::chdir(folder.c_str()) == 0) {
            ::execv(TANDREL_BINARY, const_cast<char* const*>(argv.data()));
        }
        ::_exit(127);
    }
    Spawned spawned;
    int status = 0;
    if (pid > 0 && ::waitpid(pid, &status, 0) == pid) {
        spawned.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    spawned.errors = ReadFileText(errorsPath);
    return spawned;
}

}  // namespace tandrel::test
