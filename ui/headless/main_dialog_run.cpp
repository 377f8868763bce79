// The dialog of a build without a window-system backend (TANDREL_BUILD_GUI=OFF): there is none
// to show, which the entry reports like a window system that cannot start.
#include "ui/main_dialog.h"

namespace tandrel {

int RunMainDialog(int&, char**, DiffDialog&) {
    return 1;
}

}  // namespace tandrel
