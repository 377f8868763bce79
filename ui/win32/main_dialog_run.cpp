#include "ui/main_dialog.h"

namespace tandrel {

// Placeholder until the Win32 dialog exists: the dialog branch returns without a window.
int RunMainDialog(int&, char**, DiffDialog&) {
    return 0;
}

}  // namespace tandrel
