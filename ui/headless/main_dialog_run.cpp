// The dialog of a build without a window-system backend (TANDREL_BUILD_GUI=OFF): there is none
// to show, which the entry reports like a window system that cannot start.
#include <cstdio>

#include "ui/main_dialog.h"

namespace tandrel {

int RunMainDialog(int&, char**, DiffDialog&) {
    // A Windows program has nowhere to say it.
#ifndef _WIN32
    std::fputs("tandrel: cannot open the dialog: this build of tandrel has none\n", stderr);
#endif
    return 1;
}

}  // namespace tandrel
