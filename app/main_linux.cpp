// Process entry on Linux: the argument list becomes the argument text of the shared entry logic.
#include <string>

#include "app/command_line.h"
#include "app/diff_app.h"
#include "ui/main_dialog.h"

int main(int argc, char** argv) {
    const std::string text = tandrel::ArgumentTextFromArgv(argc, argv);
    tandrel::DiffApp app;
    return app.Run(text.c_str(), [&](tandrel::DiffDialog& dialog) {
        return tandrel::RunMainDialog(argc, argv, dialog);
    });
}
