#include "ui/win32/win32_dialog_host.h"

#include "res/resource.h"
#include "ui/win32/path_boxes.h"
#include "ui/win32/result_box_window.h"
#include "ui/win32/win32_file_dialog.h"
#include "ui/win32/win32_main_dialog.h"

namespace tandrel {

Win32DialogHost::Win32DialogHost(Win32MainDialog& window) : window_(window) {}

HWND Win32DialogHost::Item(int controlId) const {
    return ::GetDlgItem(window_.Window(), controlId);
}

// An id with no control reads as an empty text and takes no text: the calls are not made with a
// null window, whose results differ between systems.
int Win32DialogHost::GetItemTextLength(int controlId) {
    const HWND item = Item(controlId);
    return item != nullptr ? ::GetWindowTextLengthA(item) : 0;
}

int Win32DialogHost::GetItemText(int controlId, char* buffer, int maxCount) {
    if (maxCount <= 0) {
        return 0;
    }
    buffer[0] = '\0';
    const HWND item = Item(controlId);
    return item != nullptr ? ::GetWindowTextA(item, buffer, maxCount) : 0;
}

void Win32DialogHost::SetItemText(int controlId, const char* text) {
    if (const HWND item = Item(controlId); item != nullptr) {
        ::SetWindowTextA(item, text);
    }
}

bool Win32DialogHost::IsItemChecked(int controlId) {
    return ::SendMessageA(Item(controlId), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Win32DialogHost::SetItemChecked(int controlId, bool checked) {
    ::SendMessageA(Item(controlId), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void Win32DialogHost::SetDialogIcon() {
    const LPARAM icon = reinterpret_cast<LPARAM>(window_.Icon());
    ::SendMessageA(window_.Window(), WM_SETICON, ICON_BIG, icon);
    ::SendMessageA(window_.Window(), WM_SETICON, ICON_SMALL, icon);
}

void Win32DialogHost::PreparePathBoxes() {
    tandrel::PreparePathBoxes(window_.Window());
}

void Win32DialogHost::SetResultFont() {
    tandrel::SetResultFont(Item(IDC_RESULT));
}

void Win32DialogHost::UpdateResultScrollBars() {
    tandrel::UpdateResultScrollBars(Item(IDC_RESULT));
}

// No message is handled while the handler works, so nothing sets the cursor back meanwhile.
void Win32DialogHost::ShowWaitCursor(bool on) {
    if (on) {
        cursorBeforeWait_ = ::SetCursor(::LoadCursorA(nullptr, IDC_WAIT));
    } else {
        ::SetCursor(cursorBeforeWait_);
    }
}

void Win32DialogHost::ShowMessage(const char* text) {
    char caption[256] = {};
    ::GetWindowTextA(window_.Window(), caption, sizeof caption);
    ::MessageBoxA(window_.Window(), text, caption, MB_OK | MB_ICONWARNING);
}

bool Win32DialogHost::RunSystemFileDialog(const FileDialogRequest& request, std::string& path) {
    return RunWin32FileDialog(window_.Window(), request, path);
}

bool Win32DialogHost::PaintMinimizedIcon() {
    const HWND window = window_.Window();
    if (!::IsIconic(window)) {
        return false;
    }
    PAINTSTRUCT paint;
    const HDC dc = ::BeginPaint(window, &paint);
    ::SendMessageA(window, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client;
    ::GetClientRect(window, &client);
    const int iconWidth = ::GetSystemMetrics(SM_CXICON);
    const int iconHeight = ::GetSystemMetrics(SM_CYICON);
    const int x = (client.right - client.left - iconWidth + 1) / 2;
    const int y = (client.bottom - client.top - iconHeight + 1) / 2;
    ::DrawIcon(dc, x, y, window_.Icon());
    ::EndPaint(window, &paint);
    return true;
}

intptr_t Win32DialogHost::DragIcon() {
    return reinterpret_cast<intptr_t>(window_.Icon());
}

}  // namespace tandrel
