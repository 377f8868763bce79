// Each dialog backend's modal run of the main dialog.
#pragma once

#include "ui/diff_dialog.h"

namespace tandrel {

// Starts the window system if it is not running yet, shows the main dialog for dialog and
// returns when the dialog ends. Returns the exit status: 0, or 1 when the window system could
// not be started.
int RunMainDialog(int& argc, char** argv, DiffDialog& dialog);

}  // namespace tandrel
