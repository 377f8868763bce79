// Process entry on Linux: the argument list, taken as given, goes to the shared entry logic.

#include "app/command_line.h"
#include "app/diff_app.h"
#include "ui/main_dialog.h"

int main(int argc, char** argv) {
    tandrel::DiffApp app;
    return app.Run(tandrel::CommandLineFromArgv(argc, argv), [&](tandrel::DiffDialog& dialog) {
        return tandrel::RunMainDialog(argc, argv, dialog);
    });
}
