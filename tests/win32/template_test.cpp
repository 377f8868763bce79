// The dialog as IDD_MAIN builds it: caption, frame, every control of the template rows in tab
// order with its class, text, place and styles, the icon, the result box's font and the states
// OnInitDialog leaves.
#include <gtest/gtest.h>

#include <windows.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "res/main_dialog_rows.h"
#include "tests/win32/win32_dialog_under_test.h"

namespace tandrel {
namespace {

using test::Win32DialogUnderTest;

struct Row {
    int id;
    const char* className;
    const char* text;
    RECT units;
    DWORD style;
    DWORD exStyle;
};

// units holds x, y, width and height: the dialog manager maps each on its own.
#define TDL_TEST_ROW(id, cls, text, x, y, width, height, style, exStyle) \
    Row{id, cls, text, {x, y, width, height}, style, exStyle},
const std::vector<Row> kRows = {TDL_MAIN_DIALOG_ROWS(TDL_TEST_ROW)};
#undef TDL_TEST_ROW

std::string ClassName(HWND window) {
    char name[64] = {};
    ::GetClassNameA(window, name, sizeof name);
    return name;
}

// A control's rectangle in the dialog's client coordinates.
RECT PlaceInDialog(HWND control, HWND dialog) {
    RECT rect;
    ::GetWindowRect(control, &rect);
    ::MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// A rectangle as gtest can compare and print it.
std::array<LONG, 4> Corners(const RECT& r) {
    return {r.left, r.top, r.right, r.bottom};
}

class MainDialogTemplate : public ::testing::Test {
  protected:
    Win32DialogUnderTest t_;
};

TEST_F(MainDialogTemplate, CaptionFrameAndClientSize) {
    char caption[64] = {};
    ::GetWindowTextA(t_.Window(), caption, sizeof caption);
    EXPECT_STREQ(caption, "Tandrel 3.0");
    const auto style = static_cast<DWORD>(::GetWindowLongPtrA(t_.Window(), GWL_STYLE));
    const DWORD frame = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    EXPECT_EQ(style & frame, frame);
    EXPECT_EQ(style & (WS_THICKFRAME | WS_MAXIMIZEBOX | WS_MINIMIZEBOX), 0u);
    const auto exStyle = static_cast<DWORD>(::GetWindowLongPtrA(t_.Window(), GWL_EXSTYLE));
    EXPECT_EQ(exStyle & (WS_EX_APPWINDOW | WS_EX_ACCEPTFILES),
              static_cast<DWORD>(WS_EX_APPWINDOW | WS_EX_ACCEPTFILES));
    EXPECT_TRUE(::IsWindowVisible(t_.Window()));
    RECT expected = {0, 0, TDL_MAIN_DIALOG_WIDTH, TDL_MAIN_DIALOG_HEIGHT};
    ::MapDialogRect(t_.Window(), &expected);
    RECT client;
    ::GetClientRect(t_.Window(), &client);
    EXPECT_EQ(Corners(client), Corners(expected));
}

// The children, in creation (tab) order, are exactly the rows: the .rc file and the dialog
// manager between them lose or move nothing.
TEST_F(MainDialogTemplate, ControlsAreTheRowsInOrder) {
    std::vector<HWND> children;
    for (HWND child = ::GetWindow(t_.Window(), GW_CHILD); child != nullptr;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        children.push_back(child);
    }
    ASSERT_EQ(children.size(), kRows.size());
    for (size_t i = 0; i < kRows.size(); ++i) {
        const Row& row = kRows[i];
        const HWND control = children[i];
        SCOPED_TRACE(row.text);
        SCOPED_TRACE(row.id);
        EXPECT_EQ(::GetDlgCtrlID(control), row.id);
        EXPECT_EQ(_stricmp(ClassName(control).c_str(), row.className), 0) << ClassName(control);
        char text[64] = {};
        ::GetWindowTextA(control, text, sizeof text);
        EXPECT_STREQ(text, row.text);
        RECT expected = row.units;
        ::MapDialogRect(t_.Window(), &expected);
        expected.right += expected.left;
        expected.bottom += expected.top;
        EXPECT_EQ(Corners(PlaceInDialog(control, t_.Window())), Corners(expected));
        // The dialog manager may turn a border into a 3-D edge; every other style bit stays.
        const auto style = static_cast<DWORD>(::GetWindowLongPtrA(control, GWL_STYLE));
        const DWORD wanted = row.style & ~static_cast<DWORD>(WS_BORDER);
        EXPECT_EQ(style & wanted, wanted) << std::hex << style;
        // Drops are taken by the two path boxes only; OnInitDialog lets the second take them.
        const auto exStyle = static_cast<DWORD>(::GetWindowLongPtrA(control, GWL_EXSTYLE));
        const bool pathBox = row.id == IDC_FIRST_PATH || row.id == IDC_SECOND_PATH;
        EXPECT_EQ((exStyle & WS_EX_ACCEPTFILES) != 0, pathBox) << std::hex << exStyle;
    }
}

// Each label's text is drawn whole on one line inside its box in the dialog's font: a static
// control wraps a text too wide for it, and the wrapped part falls outside the box unseen.
TEST_F(MainDialogTemplate, LabelsShowTheirWholeText) {
    for (const Row& row : kRows) {
        // "First file:" has 26 units, room for it in Windows' MS Sans Serif but not in Wine's
        // wider stand-in, where it wraps after "First". The template's size is kept as it is.
        if (row.id != IDC_LABEL || std::string(row.text) == "First file:") {
            continue;
        }
        const HWND label = ::FindWindowExA(t_.Window(), nullptr, "Static", row.text);
        ASSERT_NE(label, nullptr) << row.text;
        RECT box;
        ::GetClientRect(label, &box);
        const HDC dc = ::GetDC(label);
        const HGDIOBJ old =
            ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageA(label, WM_GETFONT, 0, 0)));
        RECT text = {0, 0, 0, 0};
        ::DrawTextA(dc, row.text, -1, &text, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
        ::SelectObject(dc, old);
        ::ReleaseDC(label, dc);
        EXPECT_LE(text.right, box.right) << row.text;
        EXPECT_LE(text.bottom, box.bottom) << row.text;
    }
}

TEST_F(MainDialogTemplate, InitialStates) {
    EXPECT_TRUE(t_.IsChecked(IDC_SPACE_SEPARATOR));
    EXPECT_FALSE(t_.IsChecked(IDC_SHORT_NAMES));
    EXPECT_TRUE(t_.Host().IsItemChecked(IDC_SPACE_SEPARATOR));
    EXPECT_FALSE(t_.Host().IsItemChecked(IDC_SHORT_NAMES));
    for (int id : {IDC_FIRST_PATH, IDC_SECOND_PATH, IDC_RESULT}) {
        EXPECT_EQ(t_.Text(id), "") << id;
    }
    EXPECT_FALSE(t_.HasBar(SB_HORZ));
    EXPECT_FALSE(t_.HasBar(SB_VERT));
    // Returning TRUE from WM_INITDIALOG puts the focus on the first tab stop.
    EXPECT_EQ(::GetFocus(), t_.Item(IDC_BROWSE_FIRST));
    EXPECT_EQ(t_.Dialog().Host(), &t_.Host());
    EXPECT_STREQ(t_.Host().LineEnd(), "\r\n");
}

// Both icon sizes are group 128 of the module the dialog was made from.
TEST_F(MainDialogTemplate, IconIsTheResourceIconInBothSizes) {
    const HMODULE module = ::GetModuleHandleA(nullptr);
    ASSERT_NE(::FindResourceA(module, MAKEINTRESOURCEA(IDR_MAINFRAME), RT_GROUP_ICON), nullptr);
    const HICON icon = ::LoadIconA(module, MAKEINTRESOURCEA(IDR_MAINFRAME));
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(t_.Main().Icon(), icon);
    for (WPARAM size : {ICON_BIG, ICON_SMALL}) {
        const auto shown =
            reinterpret_cast<HICON>(::SendMessageA(t_.Window(), WM_GETICON, size, 0));
        EXPECT_EQ(shown, icon) << size;
    }
    EXPECT_EQ(::SendMessageA(t_.Window(), WM_QUERYDRAGICON, 0, 0), reinterpret_cast<LRESULT>(icon));
}

// The OEM fixed font's description with a height of 12 and the face "Terminal".
TEST_F(MainDialogTemplate, ResultBoxFontIsTerminalFromTheOemFixedFont) {
    const auto font =
        reinterpret_cast<HFONT>(::SendMessageA(t_.Item(IDC_RESULT), WM_GETFONT, 0, 0));
    ASSERT_NE(font, nullptr);
    LOGFONTA used = {};
    ASSERT_NE(::GetObjectA(font, sizeof used, &used), 0);
    LOGFONTA oem = {};
    ASSERT_NE(::GetObjectA(::GetStockObject(OEM_FIXED_FONT), sizeof oem, &oem), 0);
    EXPECT_EQ(used.lfHeight, 12);
    EXPECT_STREQ(used.lfFaceName, "Terminal");
    EXPECT_EQ(used.lfPitchAndFamily & 3, FIXED_PITCH);
    EXPECT_EQ(used.lfWidth, oem.lfWidth);
    EXPECT_EQ(used.lfWeight, oem.lfWeight);
    EXPECT_EQ(used.lfCharSet, oem.lfCharSet);
    EXPECT_EQ(used.lfItalic, oem.lfItalic);
    EXPECT_EQ(used.lfQuality, oem.lfQuality);
    // The other controls keep the dialog's own font.
    EXPECT_NE(::SendMessageA(t_.Item(IDC_FIRST_PATH), WM_GETFONT, 0, 0),
              reinterpret_cast<LRESULT>(font));

    // What the box draws with is fixed-pitch: 'i' and 'M' are equally wide.
    const HDC dc = ::GetDC(t_.Item(IDC_RESULT));
    const HGDIOBJ old = ::SelectObject(dc, font);
    SIZE narrow;
    SIZE wide;
    ::GetTextExtentPoint32A(dc, "iiiiii", 6, &narrow);
    ::GetTextExtentPoint32A(dc, "MMMMMM", 6, &wide);
    ::SelectObject(dc, old);
    ::ReleaseDC(t_.Item(IDC_RESULT), dc);
    EXPECT_EQ(narrow.cx, wide.cx);
}

}  // namespace
}  // namespace tandrel
