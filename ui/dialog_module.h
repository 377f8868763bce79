// On Linux the dialog lives in a module of its own, which the program loads only to show it: a
// headless run maps no toolkit library. Nothing but C values crosses between the two: the module
// carries its own engine, DiffDialog and C++ runtime, and the program's are other copies.
#pragma once

#include "tandrel_version.h"

// The entry's symbol carries the program's version, so a module of another version is refused.
#define TANDREL_DIALOG_ENTRY "TandrelRunDialog_" TANDREL_VERSION_SYMBOL

// The module's one entry: shows the main dialog until it ends and returns the exit status (0, or
// 1 when the window system cannot start, with one line on standard error). argv is the program's.
extern "C" int TandrelRunDialog(int argc, char** argv) __asm__(TANDREL_DIALOG_ENTRY);

namespace tandrel {
using DialogModuleEntry = decltype(&TandrelRunDialog);
}  // namespace tandrel
