// The dialog run of the program's entry, one per build: the Win32 dialog in process, the Qt
// dialog from its module (Linux), or none (a build without a window-system backend).
#pragma once

#include "ui/diff_dialog.h"

namespace tandrel {

// Shows the main dialog until it ends. Returns the exit status: 0, or 1 when the dialog cannot be
// shown (no window system or display, a module that is missing or not to be trusted, a build
// without a dialog), with one line on standard error on Linux. dialog is the object the Win32
// dialog runs on; the Qt module carries its own and leaves it unused.
int RunMainDialog(int& argc, char** argv, DiffDialog& dialog);

}  // namespace tandrel
