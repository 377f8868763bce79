#include "ui/main_dialog.h"

#include "ui/win32/win32_main_dialog.h"

namespace tandrel {

int RunMainDialog(int&, char**, DiffDialog& dialog) {
    Win32MainDialog window(dialog);
    // The dialog's result does not matter; only a window that could not be made (no window
    // station or display to show it on) is a failure of the run.
    return window.RunModal() == -1 ? 1 : 0;
}

}  // namespace tandrel
