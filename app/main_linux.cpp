// Process entry on Linux: the argument list, taken as given, goes to the shared entry logic.
#include <csignal>
#include <cstdio>
#include <cstring>

#include "app/command_line.h"
#include "app/diff_app.h"
#include "tandrel_version.h"
#include "ui/main_dialog.h"

namespace {

constexpr char kUsage[] =
    "Usage: tandrel FIRST SECOND [REPORT]\n"
    "       tandrel [FILE]\n"
    "Compares FIRST with SECOND byte by byte and writes every run of differing bytes to REPORT\n"
    "(file.txt when not given), with RVA and VA when FIRST is a PE image. With no FILE, or one,\n"
    "opens the dialog.\n"
    "\n"
    "Exit status: 0 when the run did its job, 1 when the dialog cannot start, 2 when a\n"
    "comparison could not do its job (an input not read whole, a report not written whole).\n"
    "\n"
    "The manual: man tandrel\n";

}  // namespace

int main(int argc, char** argv) {
    // What a person at a terminal tries first; only as the one argument, and never opening the
    // dialog. Any other single argument is a file for the dialog.
    const bool help = argc == 2 && std::strcmp(argv[1], "--help") == 0;
    if (help || (argc == 2 && std::strcmp(argv[1], "--version") == 0)) {
        const bool printed =
            std::fputs(help ? kUsage : "tandrel " TANDREL_VERSION "\n", stdout) >= 0 &&
            std::fflush(stdout) == 0;
        return printed ? 0 : 2;
    }
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
