// The main dialog's template: the one list of its controls that the .rc file and the Qt
// backend both expand, so ids, texts, tab order, positions, sizes and styles cannot drift apart.
// Positions and sizes are dialog units. Style values are spelled out as numbers because the
// Qt backend has no Windows headers; the names beside them are the Win32 ones.
#pragma once

#include "resource.h"

#define TDL_WS_POPUP 0x80000000
#define TDL_WS_CHILD 0x40000000
#define TDL_WS_VISIBLE 0x10000000
#define TDL_WS_CAPTION 0x00C00000
#define TDL_WS_SYSMENU 0x00080000
#define TDL_WS_GROUP 0x00020000
#define TDL_WS_TABSTOP 0x00010000
#define TDL_WS_BORDER 0x00800000
#define TDL_SS_LEFT 0x0000
#define TDL_BS_PUSHBUTTON 0x0000
#define TDL_BS_AUTOCHECKBOX 0x0003
#define TDL_ES_MULTILINE 0x0004
#define TDL_ES_AUTOVSCROLL 0x0040
#define TDL_ES_AUTOHSCROLL 0x0080
#define TDL_DS_SETFONT 0x0040
#define TDL_DS_MODALFRAME 0x0080
#define TDL_WS_EX_ACCEPTFILES 0x00000010
#define TDL_WS_EX_APPWINDOW 0x00040000

#define TDL_CHILD (TDL_WS_CHILD | TDL_WS_VISIBLE)

#define TDL_MAIN_DIALOG_STYLE                                                              \
    (TDL_WS_POPUP | TDL_WS_VISIBLE | TDL_WS_CAPTION | TDL_WS_SYSMENU | TDL_DS_MODALFRAME | \
     TDL_DS_SETFONT)
#define TDL_MAIN_DIALOG_EXSTYLE (TDL_WS_EX_APPWINDOW | TDL_WS_EX_ACCEPTFILES)
#define TDL_MAIN_DIALOG_CAPTION "Tandrel 3.0"
#define TDL_MAIN_DIALOG_WIDTH 320
#define TDL_MAIN_DIALOG_HEIGHT 248
#define TDL_MAIN_DIALOG_FONT_NAME "MS Sans Serif"
#define TDL_MAIN_DIALOG_FONT_POINTS 8

// ROW(id, class, text, x, y, width, height, style, extended style), in tab order.
#define TDL_MAIN_DIALOG_ROWS(ROW)                                                                  \
    ROW(IDC_LABEL, "Static", "First file:", 49, 16, 26, 8, TDL_CHILD | TDL_SS_LEFT | TDL_WS_GROUP, \
        0)                                                                                         \
    ROW(IDC_BROWSE_FIRST, "Button", "...", 18, 25, 22, 14,                                         \
        TDL_CHILD | TDL_BS_PUSHBUTTON | TDL_WS_TABSTOP, 0)                                         \
    ROW(IDC_FIRST_PATH, "Edit", "", 49, 26, 249, 14,                                               \
        TDL_CHILD | TDL_WS_BORDER | TDL_ES_AUTOHSCROLL | TDL_WS_TABSTOP, TDL_WS_EX_ACCEPTFILES)    \
    ROW(IDC_LABEL, "Static", "Second file:", 49, 52, 38, 8,                                        \
        TDL_CHILD | TDL_SS_LEFT | TDL_WS_GROUP, 0)                                                 \
    ROW(IDC_BROWSE_SECOND, "Button", "...", 17, 62, 22, 14,                                        \
        TDL_CHILD | TDL_BS_PUSHBUTTON | TDL_WS_TABSTOP, 0)                                         \
    ROW(IDC_SECOND_PATH, "Edit", "", 49, 62, 249, 14,                                              \
        TDL_CHILD | TDL_WS_BORDER | TDL_ES_AUTOHSCROLL | TDL_WS_TABSTOP, 0)                        \
    ROW(IDC_COMPARE, "Button", "Compare", 18, 87, 50, 14,                                          \
        TDL_CHILD | TDL_BS_PUSHBUTTON | TDL_WS_TABSTOP, 0)                                         \
    ROW(IDC_SAVE_RESULT, "Button", "Save result", 72, 86, 50, 14,                                  \
        TDL_CHILD | TDL_BS_PUSHBUTTON | TDL_WS_TABSTOP, 0)                                         \
    ROW(IDC_LABEL, "Static", "Result:", 21, 106, 23, 8, TDL_CHILD | TDL_SS_LEFT | TDL_WS_GROUP, 0) \
    ROW(IDC_RESULT, "Edit", "", 17, 119, 284, 107,                                                 \
        TDL_CHILD | TDL_ES_MULTILINE | TDL_ES_AUTOVSCROLL | TDL_ES_AUTOHSCROLL | TDL_WS_BORDER |   \
            TDL_WS_TABSTOP,                                                                        \
        0)                                                                                         \
    ROW(IDC_SPACE_SEPARATOR, "Button", "Space separator", 127, 89, 68, 10,                         \
        TDL_CHILD | TDL_BS_AUTOCHECKBOX | TDL_WS_TABSTOP, 0)                                       \
    ROW(IDC_SHORT_NAMES, "Button", "Short file name", 195, 90, 63, 10,                             \
        TDL_CHILD | TDL_BS_AUTOCHECKBOX | TDL_WS_TABSTOP, 0)
