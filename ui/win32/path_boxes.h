// The two path boxes as drop targets: each accepts files dropped from the shell and takes the
// first dropped path as its text.
#pragma once

#include <windows.h>

namespace tandrel {

// Lets drop messages through to window when the program runs at a higher integrity level than
// the shell, with whichever message filter function this system has; nothing without either.
void AllowDropMessages(HWND window);

// Makes IDC_FIRST_PATH and IDC_SECOND_PATH of dialog accept drops and subclasses both. Their
// previous window procedures are kept process-wide, so one dialog at a time can be prepared.
void PreparePathBoxes(HWND dialog);

}  // namespace tandrel
