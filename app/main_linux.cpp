// Process entry on Linux: the argument list, taken as given, goes to the shared entry logic;
// what the run has to say goes to standard output and standard error.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/diff_app.h"
#include "platform/stop_signal.h"
#include "ui/main_dialog.h"

int main(int argc, char** argv) {
    // A reader of the report or the help that goes away is a failed write (status 2), not the
    // end of the process.
    std::signal(SIGPIPE, SIG_IGN);
    const std::vector<std::string> tokens(argv + 1, argv + argc);
    tandrel::AppMessages messages;
    tandrel::DiffApp app;
    int status = app.Run(
        tokens, false,
        [&](tandrel::DiffDialog& dialog) {
            std::signal(SIGPIPE, SIG_DFL);
            return tandrel::RunMainDialog(argc, argv, dialog);
        },
        messages);
    if (!messages.standardOutput.empty() &&
        (std::fputs(messages.standardOutput.c_str(), stdout) < 0 || std::fflush(stdout) != 0)) {
        messages.error = std::string("standard output: ") + std::strerror(errno);
        status = tandrel::DiffApp::kFailed;
    }
    for (const std::string* line : {&messages.note, &messages.error}) {
        if (!line->empty()) {
            std::fprintf(stderr, "tandrel: %s\n", line->c_str());
        }
    }
    if (messages.endSignal != 0) {
        std::fflush(stderr);
        tandrel::EndBySignal(messages.endSignal);
    }
    return status;
}
