// Process entry on Linux: the argument list, taken as given, goes to the shared entry logic.
#include <cstdlib>

#include "app/command_line.h"
#include "app/diff_app.h"
#include "ui/main_dialog.h"

namespace {

// The window system cannot start without somewhere to show the dialog. Checking first keeps
// that failure silent, as every failure of this program is, instead of Qt's message and abort.
bool HasDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') {
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    tandrel::DiffApp app;
    return app.Run(tandrel::CommandLineFromArgv(argc, argv), [&](tandrel::DiffDialog& dialog) {
        return HasDisplay() ? tandrel::RunMainDialog(argc, argv, dialog) : 1;
    });
}
