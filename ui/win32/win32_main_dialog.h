// The main dialog as a Win32 dialog from the IDD_MAIN resource, with DiffDialog's handlers
// behind its buttons.
#pragma once

#include <windows.h>

#include "ui/diff_dialog.h"
#include "ui/win32/win32_dialog_host.h"

namespace tandrel {

class Win32MainDialog {
  public:
    // Loads the icon from the program's module; no window exists yet.
    explicit Win32MainDialog(DiffDialog& dialog);
    Win32MainDialog(const Win32MainDialog&) = delete;
    Win32MainDialog& operator=(const Win32MainDialog&) = delete;

    // Runs the dialog modally until Enter, Escape or the close box ends it. Returns the id that
    // ended it (IDOK or IDCANCEL), or -1 when the window could not be created.
    INT_PTR RunModal();

    // Creates the same window modeless, for callers that pump its messages themselves; the
    // window goes away on Enter, Escape or the close box, or when this object is destroyed.
    // Returns null when the window could not be created.
    HWND Create();
    ~Win32MainDialog();

    // The dialog's window while it exists, else null.
    HWND Window() const { return window_; }
    HICON Icon() const { return icon_; }

  private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // Ends the dialog, modal or not, with result as the modal run's result (IDOK for Enter,
    // IDCANCEL for Escape and the close box).
    void End(int result);

    DiffDialog& dialog_;
    HICON icon_ = nullptr;
    HWND window_ = nullptr;
    bool modal_ = false;
    Win32DialogHost host_{*this};
};

}  // namespace tandrel
