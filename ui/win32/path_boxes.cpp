#include "ui/win32/path_boxes.h"

#include <shellapi.h>

#include <cstdlib>

#include "res/resource.h"

namespace tandrel {
namespace {

// Message 0x49 is the one the shell's drag and drop sends across integrity levels with
// WM_DROPFILES and WM_COPYDATA; it has no name in the headers.
constexpr UINT kCopyGlobalData = 0x49;
constexpr DWORD kAllowMessage = 1;

using ChangeWindowMessageFilterExFunction = BOOL(WINAPI*)(HWND, UINT, DWORD, void*);
using ChangeWindowMessageFilterFunction = BOOL(WINAPI*)(UINT, DWORD);

// The saved window procedures of the two boxes, one slot each.
WNDPROC savedPathBoxProcs[2] = {nullptr, nullptr};

template <typename Function>
Function FindUser32Function(const char* name) {
    const HMODULE user32 = ::GetModuleHandleA("user32");
    if (user32 == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(user32, name)));
}

// Takes the first dropped path as the box's text; the rest of the drop is ignored.
void TakeFirstDroppedPath(HWND box, HDROP drop) {
    if (::DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0) < 1) {
        return;
    }
    const UINT length = ::DragQueryFileA(drop, 0, nullptr, 0);
    char* path = static_cast<char*>(std::malloc(length + 1));
    if (path == nullptr) {
        return;
    }
    ::DragQueryFileA(drop, 0, path, length + 1);
    ::SetWindowTextA(box, path);
    std::free(path);
}

template <int Slot>
LRESULT CALLBACK PathBoxProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_DROPFILES) {
        return ::CallWindowProcA(savedPathBoxProcs[Slot], window, message, wParam, lParam);
    }
    const HDROP drop = reinterpret_cast<HDROP>(wParam);
    TakeFirstDroppedPath(window, drop);
    const LRESULT result = ::DefWindowProcA(window, message, wParam, lParam);
    ::DragFinish(drop);
    return result;
}

template <int Slot>
void SavePathBoxProc(HWND box) {
    savedPathBoxProcs[Slot] = reinterpret_cast<WNDPROC>(::GetWindowLongPtrA(box, GWLP_WNDPROC));
}

template <int Slot>
void InstallPathBoxProc(HWND box) {
    ::SetWindowLongPtrA(box, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&PathBoxProc<Slot>));
}

}  // namespace

void AllowDropMessages(HWND window) {
    if (const auto filterEx = FindUser32Function<ChangeWindowMessageFilterExFunction>(
            "ChangeWindowMessageFilterEx")) {
        filterEx(window, WM_DROPFILES, kAllowMessage, nullptr);
        filterEx(window, WM_COPYDATA, kAllowMessage, nullptr);
        filterEx(window, kCopyGlobalData, kAllowMessage, nullptr);
        return;
    }
    if (const auto filter =
            FindUser32Function<ChangeWindowMessageFilterFunction>("ChangeWindowMessageFilter")) {
        filter(kCopyGlobalData, kAllowMessage);
        filter(WM_DROPFILES, kAllowMessage);
    }
}

void PreparePathBoxes(HWND dialog) {
    const HWND first = ::GetDlgItem(dialog, IDC_FIRST_PATH);
    const HWND second = ::GetDlgItem(dialog, IDC_SECOND_PATH);
    ::DragAcceptFiles(first, TRUE);
    ::DragAcceptFiles(second, TRUE);
    AllowDropMessages(first);
    AllowDropMessages(second);
    SavePathBoxProc<0>(first);
    SavePathBoxProc<1>(second);
    InstallPathBoxProc<0>(first);
    InstallPathBoxProc<1>(second);
}

}  // namespace tandrel
