// The common open and save dialogs behind the dialog-host port.
#pragma once

#include <windows.h>

#include <string>

#include "ui/dialog_host.h"

namespace tandrel {

// Runs the dialog modally over owner, with the read-only box hidden; the file need not exist, and
// a name that exists is taken without a prompt. True with the chosen full path on OK, false on
// Cancel or failure.
bool RunWin32FileDialog(HWND owner, const FileDialogRequest& request, std::string& path);

}  // namespace tandrel
