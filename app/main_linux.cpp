// Process entry on Linux: the argument list, taken as given, goes to the shared entry logic.
#include <csignal>

#include "app/command_line.h"
#include "app/diff_app.h"
#include "ui/main_dialog.h"

int main(int argc, char** argv) {
    const tandrel::CommandLine line = tandrel::CommandLineFromArgv(argc, argv);
    // A report pipe whose reader has gone is a failed write (status 2), not the end of the
    // process.
    if (line.headless) {
        std::signal(SIGPIPE, SIG_IGN);
    }
    tandrel::DiffApp app;
    return app.Run(line, [&](tandrel::DiffDialog& dialog) {
        return tandrel::RunMainDialog(argc, argv, dialog);
    });
}
