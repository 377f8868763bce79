// The look of the result box: its fixed-pitch font and its scroll bars.
#pragma once

#include <windows.h>

namespace tandrel {

// Gives box the "Terminal" font made from the OEM fixed font with a height of 12. The font is
// made once and kept until the process ends.
void SetResultFont(HWND box);

// Makes a plain Enter in box press the dialog's default button (IDOK), as it does in a
// multi-line box without ES_WANTRETURN; Ctrl+Enter still breaks the line. Box's previous window
// procedure is kept in its user data.
void PassEnterToDialog(HWND box);

// Shows each of box's bars, horizontal then vertical, exactly when its range goes beyond its
// page: the box has no scroll-bar styles of its own.
void UpdateResultScrollBars(HWND box);

}  // namespace tandrel
