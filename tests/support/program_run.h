// The real Linux program, spawned with an argument list: its status, standard error and
// standard output kept apart, optionally as another user or ended by a signal mid-run.
#pragma once

#include <fcntl.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace tandrel::test {

struct ProgramRun {
    int status = -1;     // the exit status, or 128 and the signal that ended it
    int signal = 0;      // the signal that ended it, if one did
    std::string errors;  // standard error
    std::string standardOutput;
};

struct ProgramSetting {
    uid_t user = 0;  // with a user other than 0 (the tests run as root): run as that user
    // Runs in the parent while the program runs, given its process id.
    std::function<void(pid_t)> whileRunning;
    std::string input;  // a file as standard input (else the test's own)
    // A file of the folder as standard output, opened for appending as a shell's ">>" opens it.
    std::string appendTo;
    bool terminal = false;  // standard error a pseudo-terminal: errors is what it showed
};

inline ProgramRun RunTandrel(const std::string& folder, const std::vector<std::string>& arguments,
                             const ProgramSetting& setting = {}) {
    std::vector<const char*> argv{TANDREL_BINARY};
    for (const std::string& argument : arguments) {
        argv.push_back(argument.c_str());
    }
    argv.push_back(nullptr);
    const TempDir outputs;
    const std::string errors = outputs.File("errors");
    const std::string output = outputs.File("output");
    int terminal = -1;
    const pid_t pid = setting.terminal ? ::forkpty(&terminal, nullptr, nullptr, nullptr) : ::fork();
    if (pid == 0) {
        const std::string appendPath = folder + "/" + setting.appendTo;
        ::dup2(setting.appendTo.empty() ? ::open(output.c_str(), O_WRONLY | O_CREAT, 0666)
                                        : ::open(appendPath.c_str(), O_WRONLY | O_APPEND),
               1);
        if (!setting.terminal) {
            ::dup2(::open(errors.c_str(), O_WRONLY | O_CREAT, 0666), 2);
        }
        if (!setting.input.empty()) {
            ::dup2(::open(setting.input.c_str(), O_RDONLY), 0);
        }
        // No display: a run that would show the dialog fails to start it.
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
            ::unsetenv(name);
        }
        for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
            std::signal(signal, SIG_DFL);  // as a shell starts it, whatever the test runner set
        }
        if (::chdir(folder.c_str()) == 0 &&
            (setting.user == 0 || (::setgid(setting.user) == 0 && ::setuid(setting.user) == 0))) {
            ::execv(TANDREL_BINARY, const_cast<char* const*>(argv.data()));
        }
        ::_exit(127);
    }
    if (pid > 0 && setting.whileRunning) {
        setting.whileRunning(pid);
    }
    ProgramRun run;
    char piece[4096];
    for (ssize_t got; terminal >= 0 && (got = ::read(terminal, piece, sizeof piece)) > 0;) {
        run.errors.append(piece, static_cast<size_t>(got));
    }
    int status = 0;
    if (pid > 0 && ::waitpid(pid, &status, 0) == pid) {
        run.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    run.errors += ReadFileText(errors);
    if (terminal >= 0) {
        ::close(terminal);
    }
    run.standardOutput = ReadFileText(output);
    return run;
}

}  // namespace tandrel::test
