#include "ui/win32/win32_main_dialog.h"

#include <algorithm>

#include "res/resource.h"
#include "ui/win32/result_box_window.h"

namespace tandrel {
namespace {

// The template places the dialog at the screen's corner; it opens in the middle of the work
// area of its monitor instead, as users expect of a program's main window.
void CentreOnWorkArea(HWND window) {
    MONITORINFO monitor;
    monitor.cbSize = sizeof monitor;
    RECT frame;
    if (!::GetMonitorInfoA(::MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor) ||
        !::GetWindowRect(window, &frame)) {
        return;
    }
    const RECT& area = monitor.rcWork;
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    const int x = area.left + std::max(0L, (area.right - area.left - width) / 2);
    const int y = area.top + std::max(0L, (area.bottom - area.top - height) / 2);
    ::SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

Win32MainDialog::Win32MainDialog(DiffDialog& dialog)
    : dialog_(dialog),
      icon_(::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME))) {}

Win32MainDialog::~Win32MainDialog() {
    if (window_ != nullptr && !modal_) {
        ::DestroyWindow(window_);
    }
}

INT_PTR Win32MainDialog::RunModal() {
    modal_ = true;
    const INT_PTR result =
        ::DialogBoxParamA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_MAIN), nullptr,
                          &Win32MainDialog::DialogProc, reinterpret_cast<LPARAM>(this));
    modal_ = false;
    return result;
}

HWND Win32MainDialog::Create() {
    modal_ = false;
    return ::CreateDialogParamA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_MAIN), nullptr,
                                &Win32MainDialog::DialogProc, reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK Win32MainDialog::DialogProc(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
    Win32MainDialog* self = nullptr;
    if (message == WM_INITDIALOG) {
        // The object comes with the creation call and rides in the window's user data after.
        self = reinterpret_cast<Win32MainDialog*>(lParam);
        ::SetWindowLongPtrA(window, DWLP_USER, lParam);
        self->window_ = window;
    } else {
        self = reinterpret_cast<Win32MainDialog*>(::GetWindowLongPtrA(window, DWLP_USER));
    }
    if (self == nullptr) {
        return FALSE;
    }
    return self->HandleMessage(message, wParam, lParam);
}

INT_PTR Win32MainDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            CentreOnWorkArea(window_);
            PassEnterToDialog(::GetDlgItem(window_, IDC_RESULT));
            dialog_.AttachHost(&host_);
            // True: the dialog manager puts the focus on the first tab stop.
            return dialog_.OnInitDialog() ? TRUE : FALSE;
        case WM_COMMAND: {
            const int controlId = LOWORD(wParam);
            if (HIWORD(wParam) != BN_CLICKED) {
                return FALSE;
            }
            if (controlId == IDOK || controlId == IDCANCEL) {
                End(controlId);
                return TRUE;
            }
            return dialog_.OnCommand(controlId) ? TRUE : FALSE;
        }
        case WM_PAINT:
            return dialog_.OnPaint() ? TRUE : FALSE;
        case WM_QUERYDRAGICON:
            // One of the messages whose result a dialog procedure returns directly.
            return static_cast<INT_PTR>(dialog_.OnQueryDragIcon());
        case WM_DROPFILES:
            // Only the path boxes take drops; one that lands elsewhere on the dialog changes
            // nothing, but its handle is still the receiver's to release.
            ::DragFinish(reinterpret_cast<HDROP>(wParam));
            return TRUE;
        case WM_DESTROY:
            dialog_.AttachHost(nullptr);
            window_ = nullptr;
            return FALSE;
        default:
            return FALSE;
    }
}

void Win32MainDialog::End(int result) {
    if (modal_) {
        ::EndDialog(window_, result);
    } else {
        ::DestroyWindow(window_);
    }
}

}  // namespace tandrel
