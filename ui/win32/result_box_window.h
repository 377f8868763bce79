// The look of the result box: its fixed-pitch font and its scroll bars.
#pragma once

#include <windows.h>

namespace tandrel {

// Gives box the "Terminal" font made from the OEM fixed font with a height of 12. The font is
// made once and kept until the process ends.
void SetResultFont(HWND box);

// Shows each of box's bars, horizontal then vertical, exactly when its range goes beyond its
// page: the box has no scroll-bar styles of its own.
void UpdateResultScrollBars(HWND box);

}  // namespace tandrel
