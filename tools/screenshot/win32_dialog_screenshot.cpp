// Shows the main dialog after one comparison, for scripts/screenshot-windows.sh:
//   dialog_screenshot FIRST SECOND READY DONE
// Once the dialog is painted, its window rectangle on the screen ("x y width height") is written
// to the file READY; the dialog stays up until the file DONE exists (or a minute has passed), so
// that the screen can be captured meanwhile.
#include <windows.h>

#include <cstdio>

#include "res/resource.h"
#include "ui/diff_dialog.h"
#include "ui/win32/win32_main_dialog.h"

namespace {

constexpr UINT kWaitStepMs = 50;
constexpr int kMaxWaitSteps = 60000 / kWaitStepMs;

void Pump() {
    MSG message;
    while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&message);
        ::DispatchMessageA(&message);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s FIRST SECOND READY DONE\n", argv[0]);
        return 2;
    }
    tandrel::DiffDialog dialog;
    tandrel::Win32MainDialog window(dialog);
    const HWND main = window.Create();
    if (main == nullptr) {
        return 1;
    }
    ::SetDlgItemTextA(main, IDC_FIRST_PATH, argv[1]);
    ::SetDlgItemTextA(main, IDC_SECOND_PATH, argv[2]);
    ::SendDlgItemMessageA(main, IDC_COMPARE, BM_CLICK, 0, 0);
    ::SetForegroundWindow(main);
    // Under Wine with no window manager the frame can keep its inactive look although the
    // window is active: draw it as the active window it is.
    ::SendMessageA(main, WM_NCACTIVATE, TRUE, 0);
    ::RedrawWindow(main, nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Pump();
    // Give the X server a moment to show what was drawn before anyone captures it.
    ::Sleep(500);
    Pump();

    RECT rect;
    ::GetWindowRect(main, &rect);
    std::FILE* ready = std::fopen(argv[3], "w");
    if (ready == nullptr) {
        return 1;
    }
    std::fprintf(ready, "%ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left,
                 rect.bottom - rect.top);
    std::fclose(ready);

    for (int step = 0; step < kMaxWaitSteps; ++step) {
        if (::GetFileAttributesA(argv[4]) != INVALID_FILE_ATTRIBUTES) {
            return 0;
        }
        Pump();
        ::Sleep(kWaitStepMs);
    }
    return 1;
}
