// Process entry on Windows: the argument text is the whole command line less the program's name,
// handed to the entry logic both platforms share.
#include <windows.h>

#include "app/command_line.h"
#include "app/diff_app.h"
#include "ui/main_dialog.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // The dialog's template and icon are found through the module handle; without it nothing
    // the program does can start.
    if (::GetModuleHandleA(nullptr) == nullptr) {
        return 1;
    }
    const char* const text = tandrel::ArgumentTextFromCommandLine(::GetCommandLineA());
    tandrel::DiffApp app;
    return app.Run(tandrel::SplitArgumentText(text), [](tandrel::DiffDialog& dialog) {
        // The Win32 backend takes no arguments of its own.
        int argc = 0;
        return tandrel::RunMainDialog(argc, nullptr, dialog);
    });
}
