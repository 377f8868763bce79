// The common open and save dialogs behind the dialog-host port.
#pragma once

#include <windows.h>

#include <string>

#include "ui/dialog_host.h"

namespace tandrel {

// Runs the dialog modally over owner, with the read-only box hidden and a prompt before a name
// that exists; the file need not exist. True with the chosen full path on OK,
// false on Cancel or failure.
bool RunWin32FileDialog(HWND owner, const FileDialogRequest& request, std::string& path);

}  // namespace tandrel
