#include "ui/win32/result_box_window.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <vector>

namespace tandrel {
namespace {

HFONT MakeResultFont() {
    LOGFONTA description;
    std::memset(&description, 0, sizeof description);
    ::GetObjectA(::GetStockObject(OEM_FIXED_FONT), sizeof description, &description);
    description.lfHeight = 12;
    std::strcpy(description.lfFaceName, "Terminal");
    description.lfPitchAndFamily = FIXED_PITCH;
    return ::CreateFontIndirectA(&description);
}

// The box's text area, its line count, and the line height and widest line of its text in its
// font, in pixels.
struct TextMeasure {
    RECT format{};
    int lineHeight = 0;
    int lineCount = 0;
    int widestLine = 0;
};

TextMeasure MeasureText(HWND box, int bar) {
    TextMeasure measure;
    ::SendMessageA(box, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&measure.format));
    measure.lineCount = static_cast<int>(::SendMessageA(box, EM_GETLINECOUNT, 0, 0));
    const HDC dc = ::GetDC(box);
    const HGDIOBJ previous =
        ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageA(box, WM_GETFONT, 0, 0)));
    TEXTMETRICA metrics;
    if (::GetTextMetricsA(dc, &metrics)) {
        measure.lineHeight = metrics.tmHeight;
    }
    // Only the horizontal bar needs the widest line.
    const int length = bar == SB_HORZ ? ::GetWindowTextLengthA(box) : 0;
    std::vector<char> text(static_cast<size_t>(length) + 1, '\0');
    const int copied = ::GetWindowTextA(box, text.data(), length + 1);
    for (int start = 0; start < copied;) {
        int end = start;
        while (end < copied && text[end] != '\r' && text[end] != '\n') {
            ++end;
        }
        SIZE size{};
        if (end > start && ::GetTextExtentPoint32A(dc, text.data() + start, end - start, &size)) {
            measure.widestLine = std::max(measure.widestLine, static_cast<int>(size.cx));
        }
        start = end + 1;
    }
    ::SelectObject(dc, previous);
    ::ReleaseDC(box, dc);
    return measure;
}

// The scroll information an edit control keeps for a bar that it was created with: range from
// zero to the last line (or the widest line's last pixel), the page being what the text area
// shows.
SCROLLINFO ScrollInfoFromText(const TextMeasure& measure, int bar) {
    SCROLLINFO info;
    std::memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    info.fMask = SIF_RANGE | SIF_PAGE;
    if (bar == SB_VERT) {
        info.nMax = std::max(measure.lineCount - 1, 0);
        const int height = measure.format.bottom - measure.format.top;
        info.nPage = measure.lineHeight > 0 ? static_cast<UINT>(height / measure.lineHeight) : 0;
    } else {
        info.nMax = std::max(measure.widestLine - 1, 0);
        info.nPage = static_cast<UINT>(std::max(measure.format.right - measure.format.left, 0L));
    }
    return info;
}

// Windows' dialog manager answers Enter in such a box before the box sees it. Wine's box takes
// the key and passes it on only to a default button that exists as a control, and this dialog
// has none; so a plain Enter that reaches the box is turned into the dialog's default command.
LRESULT CALLBACK EnterPassingProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
    const auto previous = reinterpret_cast<WNDPROC>(::GetWindowLongPtrA(box, GWLP_USERDATA));
    if (message == WM_KEYDOWN && wParam == VK_RETURN && ::GetKeyState(VK_CONTROL) >= 0) {
        const HWND dialog = ::GetParent(box);
        const DWORD defaultId = static_cast<DWORD>(::SendMessageA(dialog, DM_GETDEFID, 0, 0));
        const int commandId = HIWORD(defaultId) == DC_HASDEFID ? LOWORD(defaultId) : IDOK;
        ::PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(commandId, BN_CLICKED), 0);
        return 0;
    }
    if (message == WM_CHAR && wParam == '\r' && ::GetKeyState(VK_CONTROL) >= 0) {
        // The character of the Enter handled above: no line break for it.
        return 0;
    }
    return ::CallWindowProcA(previous, box, message, wParam, lParam);
}

}  // namespace

void PassEnterToDialog(HWND box) {
    ::SetWindowLongPtrA(box, GWLP_USERDATA, ::GetWindowLongPtrA(box, GWLP_WNDPROC));
    ::SetWindowLongPtrA(box, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&EnterPassingProc));
}

void SetResultFont(HWND box) {
    // One font for every dialog the process shows: it is never freed, so it is made only once.
    static const HFONT font = MakeResultFont();
    ::SendMessageA(box, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

void UpdateResultScrollBars(HWND box) {
    for (const int bar : {SB_HORZ, SB_VERT}) {
        // Some edit controls (Wine's) keep scroll information only for bars they were created
        // with, and this box has none of its own. So the bar is first given the information
        // the box's text calls for; a box that keeps its own overwrites it when the bar shows.
        SCROLLINFO seed = ScrollInfoFromText(MeasureText(box, bar), bar);
        ::SetScrollInfo(box, bar, &seed, FALSE);
        ::ShowScrollBar(box, bar, TRUE);
        SCROLLINFO info;
        std::memset(&info, 0, sizeof info);
        info.cbSize = sizeof info;
        info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_TRACKPOS;
        ::GetScrollInfo(box, bar, &info);
        ::ShowScrollBar(box, bar, static_cast<UINT>(info.nMax) > info.nPage);
    }
}

}  // namespace tandrel
