// The contract suite's driver for the Win32 dialog: the real dialog from the IDD_MAIN resource
// linked into the suite, in process (under wine64 on an X display here), driven by window
// messages as the keyboard and the shell send them.
#include <windows.h>
// After windows.h, which it needs.
#include <shlobj.h>
// The common dialogs' control ids.
#include <dlgs.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/dialog/dialog_driver.h"
#include "ui/win32/win32_main_dialog.h"

namespace tandrel::test {
namespace {

// The step a modal run takes on each tick of a thread timer, which carries no context of its
// own.
std::function<void()> tick;

class Win32DialogDriver : public DialogDriver {
  public:
    Win32DialogDriver() {
        EXPECT_NE(window_.Create(), nullptr) << "no dialog: " << ::GetLastError();
    }

    // The dialog manager's tab order is the children's order.
    std::vector<ControlFacts> Controls() override {
        RECT client;
        ::GetClientRect(Main(), &client);
        std::vector<ControlFacts> controls = {Facts(0, "", Main(), client)};
        for (HWND c = ::GetWindow(Main(), GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) {
            char name[32] = {};
            ::GetClassNameA(c, name, sizeof name);
            RECT rect;
            ::GetWindowRect(c, &rect);
            ::MapWindowPoints(HWND_DESKTOP, Main(), reinterpret_cast<POINT*>(&rect), 2);
            // A 16-bit -1 is the resource compiler's id of labels.
            controls.push_back(Facts(static_cast<short>(::GetDlgCtrlID(c)), name, c, rect));
        }
        return controls;
    }

    // A message box runs its own message loop, which dispatches the timer's ticks.
    void Click(int id) override {
        tick = [this] { AnswerPopups(); };
        const UINT_PTR timer =
            ::SetTimer(nullptr, 0, 20, [](HWND, UINT, UINT_PTR, DWORD) { tick(); });
        ::SendMessageA(Item(id), BM_CLICK, 0, 0);
        ::KillTimer(nullptr, timer);
        tick = nullptr;
    }

    // A fresh dialog runs modally. The key is posted as the keyboard sends it to the focused
    // control; posted messages come before the next timer tick, which ends a run still going.
    bool KeyEndsRun(int id, Key key) override {
        constexpr INT_PTR kStillRunning = -7;
        DiffDialog dialog;
        Win32MainDialog window(dialog);
        bool pressed = false;
        tick = [&] {
            const HWND main = window.Window();
            const HWND target = ::GetDlgItem(main, id);
            const WPARAM vk = key == Key::kEscape ? VK_ESCAPE : VK_RETURN;
            // The keypad's Enter is the extended one.
            const LPARAM extended = key == Key::kKeypadEnter ? 0x01000000 : 0;
            if (pressed) {
                ::EndDialog(main, kStillRunning);
            } else if (key == Key::kCloseBox) {
                ::PostMessageA(main, WM_SYSCOMMAND, SC_CLOSE, 0);
            } else {
                ::SendMessageA(main, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(target), TRUE);
                ::PostMessageA(target, WM_KEYDOWN, vk, 1 | extended);
                ::PostMessageA(target, WM_KEYUP, vk, 0xC0000001 | extended);
            }
            pressed = true;
        };
        const UINT_PTR timer =
            ::SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR, DWORD) { tick(); });
        const INT_PTR result = window.RunModal();
        ::KillTimer(nullptr, timer);
        EXPECT_NE(result, -1) << "no dialog";
        return result != kStillRunning;
    }

    // An HDROP as the shell makes it, sent to the control when it takes files and otherwise to
    // the dialog, at the control's place. Whoever receives it must release it.
    void Drop(int id, const std::vector<std::string>& paths) override {
        std::string names;
        for (const std::string& path : paths) {
            names += path + '\0';
        }
        const HGLOBAL drop = ::GlobalAlloc(GHND, sizeof(DROPFILES) + names.size() + 1);
        auto* header = static_cast<DROPFILES*>(::GlobalLock(drop));
        header->pFiles = sizeof(DROPFILES);
        std::memcpy(header + 1, names.data(), names.size());
        HWND target = Item(id);
        if ((::GetWindowLongPtrA(target, GWL_EXSTYLE) & WS_EX_ACCEPTFILES) == 0) {
            header->pt = {2, 2};
            ::MapWindowPoints(target, Main(), &header->pt, 1);
            target = Main();
        }
        ::GlobalUnlock(drop);
        ::SendMessageA(target, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
        EXPECT_EQ(::GlobalFlags(drop), static_cast<UINT>(GMEM_INVALID_HANDLE))
            << "the drop on " << id << " was not released";
    }

    std::pair<bool, bool> ResultBars() override {
        const LONG_PTR style = ::GetWindowLongPtrA(Item(IDC_RESULT), GWL_STYLE);
        return {(style & WS_HSCROLL) != 0, (style & WS_VSCROLL) != 0};
    }

    std::vector<int> ResultFontAdvances() override {
        const HWND box = Item(IDC_RESULT);
        const HDC dc = ::GetDC(box);
        ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageA(box, WM_GETFONT, 0, 0)));
        std::vector<int> advances('~' - ' ' + 1, 0);
        ::GetCharWidth32A(dc, ' ', '~', advances.data());
        ::ReleaseDC(box, dc);
        return advances;
    }

    bool WaitCursorShown() override { return ::GetCursor() == ::LoadCursorA(nullptr, IDC_WAIT); }

  private:
    HWND Main() const { return window_.Window(); }

    // Every dialog-class window of this thread but the main one is a file dialog (it has a name
    // box) or a message box: its caption, and the text of its labels (the icon's is empty). The
    // file dialog's OK is posted, so that a prompt it raises comes in a later tick.
    void AnswerPopups() {
        std::vector<HWND> boxes;
        ::EnumThreadWindows(
            ::GetCurrentThreadId(),
            [](HWND window, LPARAM found) {
                char name[32] = {};
                ::GetClassNameA(window, name, sizeof name);
                if (std::strcmp(name, "#32770") == 0 && ::IsWindowVisible(window)) {
                    reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&boxes));
        for (HWND box : boxes) {
            if (box == Main()) {
                continue;
            }
            const HWND name =
                ::GetDlgItem(box, edt1) ? ::GetDlgItem(box, edt1) : ::GetDlgItem(box, cmb13);
            if (name != nullptr) {
                ::SetWindowTextA(name, std::exchange(typedPath_, {}).c_str());
                ::PostMessageA(box, WM_COMMAND, ::GetWindowTextLengthA(name) ? IDOK : IDCANCEL, 0);
                continue;
            }
            char text[1024] = {};
            ::GetWindowTextA(box, text, sizeof text);
            std::string message = std::string(text) + '|';
            for (HWND c = ::GetWindow(box, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) {
                char name[32] = {};
                ::GetClassNameA(c, name, sizeof name);
                if (::GetWindowTextA(c, text, sizeof text) > 0 &&
                    ::lstrcmpiA(name, "Static") == 0) {
                    message += text;
                }
            }
            messages_.push_back(message);
            // A question has no OK: No then.
            ::SendMessageA(box, WM_COMMAND, ::GetDlgItem(box, IDOK) ? IDOK : IDNO, 0);
        }
    }
    HWND Item(int id) const { return ::GetDlgItem(Main(), id); }

    // A window's facts, its rectangle in the dialog's client area in dialog units, which map to
    // pixels through the dialog font's base units.
    ControlFacts Facts(int id, std::string className, HWND window, RECT r) const {
        char text[64] = {};
        ::GetWindowTextA(window, text, sizeof text);
        RECT base = {0, 0, 4, 8};
        ::MapDialogRect(Main(), &base);
        const auto x = [&](LONG pixels) { return ::MulDiv(pixels, 4, base.right); };
        const auto y = [&](LONG pixels) { return ::MulDiv(pixels, 8, base.bottom); };
        return {id, className, text, x(r.left), y(r.top), x(r.right - r.left), y(r.bottom - r.top)};
    }

    Win32MainDialog window_{dialog_};
};

}  // namespace

std::unique_ptr<DialogDriver> DialogDriver::Open() {
    return std::make_unique<Win32DialogDriver>();
}

}  // namespace tandrel::test
