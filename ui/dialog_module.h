// On Linux the dialog lives in a module of its own, which the program loads only to show it: a
// headless run maps no toolkit library.
#pragma once

namespace tandrel {
class DiffDialog;
}

#define TANDREL_DIALOG_MODULE_EXPORT __attribute__((visibility("default")))

// The module's one entry, found by this name: shows the main dialog for dialog until it ends and
// returns the exit status (0, or 1 when the window system cannot start). The module calls the
// dialog's handlers in the program, which exports them.
extern "C" int TandrelRunDialog(int argc, char** argv, tandrel::DiffDialog& dialog);

namespace tandrel {
inline constexpr char kDialogModuleEntry[] = "TandrelRunDialog";
using DialogModuleEntry = decltype(&TandrelRunDialog);
}  // namespace tandrel
