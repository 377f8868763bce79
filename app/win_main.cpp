// Process entry on Windows: the argument text is the whole command line less the program's name,
// cut into tokens and handed to the entry logic both platforms share. A GUI program has no
// console to write to: failures are told by the exit status alone, the help in a message box.
#include <windows.h>

#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/diff_app.h"
#include "ui/main_dialog.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // The dialog's template and icon are found through the module handle; without it nothing
    // the program does can start.
    if (::GetModuleHandleA(nullptr) == nullptr) {
        return 1;
    }
    const std::vector<std::string> tokens =
        tandrel::CutArgumentText(tandrel::ArgumentTextFromCommandLine(::GetCommandLineA()));
    tandrel::AppMessages messages;
    tandrel::DiffApp app;
    const int status = app.Run(
        tokens, true,
        [](tandrel::DiffDialog& dialog) {
            // The Win32 backend takes no arguments of its own.
            int argc = 0;
            return tandrel::RunMainDialog(argc, nullptr, dialog);
        },
        messages);
    if (!messages.standardOutput.empty()) {
        ::MessageBoxA(nullptr, messages.standardOutput.c_str(), "Tandrel",
                      MB_OK | MB_ICONINFORMATION);
    }
    return status;
}
