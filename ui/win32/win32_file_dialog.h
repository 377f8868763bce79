// The common open and save dialogs behind the dialog-host port.
#pragma once

#include <windows.h>

#include <string>

#include "ui/dialog_host.h"

namespace tandrel {

// Runs the dialog modally over owner with the framework's default flags (hide read-only,
// prompt before overwriting); the file need not exist. True with the chosen full path on OK,
// false on Cancel or failure.
bool RunWin32FileDialog(HWND owner, const FileDialogRequest& request, std::string& path);

}  // namespace tandrel
