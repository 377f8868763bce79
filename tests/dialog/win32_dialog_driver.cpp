// The contract suite's driver for the Win32 dialog: the real dialog from the IDD_MAIN resource
// linked into the suite, in process (under wine64 on an X display here), driven by window
// messages as the keyboard and the shell send them.
#include <windows.h>
// After windows.h, which it needs.
#include <shlobj.h>

#include <process.h>

#include <algorithm>
#include <cstring>
#include <functional>

#include "res/resource.h"
#include "tests/dialog/dialog_driver.h"
#include "tests/support/temp_dir.h"
#include "ui/diff_dialog.h"
#include "ui/win32/win32_main_dialog.h"

namespace tandrel::test {
namespace {

std::string WindowText(HWND window) {
    char text[64] = {};
    ::GetWindowTextA(window, text, sizeof text);
    return text;
}

// The step a modal run takes on each tick of a thread timer, which carries no context of its
// own.
std::function<void()> tick;
void CALLBACK OnTick(HWND, UINT, UINT_PTR, DWORD) {
    tick();
}

class Win32DialogDriver : public DialogDriver {
  public:
    Win32DialogDriver() {
        EXPECT_NE(window_.Create(), nullptr) << "no dialog: " << ::GetLastError();
        AnswerFileDialogs();
    }

    // The dialog manager's tab order is the children's order.
    std::vector<ControlFacts> Controls() override {
        RECT client;
        ::GetClientRect(Main(), &client);
        std::vector<ControlFacts> controls = {Facts(0, "", WindowText(Main()), client)};
        for (HWND c = ::GetWindow(Main(), GW_CHILD); c != nullptr;
             c = ::GetWindow(c, GW_HWNDNEXT)) {
            char name[32] = {};
            ::GetClassNameA(c, name, sizeof name);
            RECT rect;
            ::GetWindowRect(c, &rect);
            ::MapWindowPoints(HWND_DESKTOP, Main(), reinterpret_cast<POINT*>(&rect), 2);
            // A 16-bit -1 is the resource compiler's id of labels.
            controls.push_back(
                Facts(static_cast<short>(::GetDlgCtrlID(c)), name, WindowText(c), rect));
        }
        return controls;
    }

    void Click(int id) override { ::SendMessageA(Item(id), BM_CLICK, 0, 0); }

    void Type(int id, const std::string& text) override {
        const auto end = static_cast<WPARAM>(::GetWindowTextLengthA(Item(id)));
        ::SendMessageA(Item(id), EM_SETSEL, end, end);
        for (const char c : text) {
            ::SendMessageA(Item(id), WM_CHAR, static_cast<unsigned char>(c), 1);
        }
    }

    // The key is posted as the keyboard sends it to the focused control; posted messages come
    // before the next timer tick, which ends a run that is still going.
    bool KeyEndsRun(int id, Key key) override {
        constexpr INT_PTR kStillRunning = -7;
        DiffDialog dialog;
        Win32MainDialog window(dialog);
        bool pressed = false;
        const auto holdCtrl = [](bool down) {
            BYTE keys[256] = {};
            keys[VK_CONTROL] = down ? 0x80 : 0;
            ::SetKeyboardState(keys);
        };
        tick = [&] {
            const HWND main = window.Window();
            if (main != nullptr && pressed) {
                ::EndDialog(main, kStillRunning);
            } else if (main != nullptr) {
                const HWND target = ::GetDlgItem(main, id);
                ::SendMessageA(main, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(target), TRUE);
                holdCtrl(key == Key::kCtrlEnter);
                const UINT vk = key == Key::kEscape ? VK_ESCAPE : VK_RETURN;
                // The keypad's Enter is the extended one.
                const LPARAM extended = key == Key::kKeypadEnter ? 0x01000000 : 0;
                if (key == Key::kCloseBox) {
                    ::PostMessageA(main, WM_SYSCOMMAND, SC_CLOSE, 0);
                } else {
                    ::PostMessageA(target, WM_KEYDOWN, vk, 1 | extended);
                    ::PostMessageA(target, WM_KEYUP, vk, 0xC0000001 | extended);
                }
                pressed = true;
            }
        };
        const UINT_PTR timer = ::SetTimer(nullptr, 0, 50, &OnTick);
        const INT_PTR result = window.RunModal();
        ::KillTimer(nullptr, timer);
        holdCtrl(false);
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
        const HGLOBAL drop =
            ::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + names.size() + 1);
        auto* header = static_cast<DROPFILES*>(::GlobalLock(drop));
        header->pFiles = sizeof(DROPFILES);
        std::memcpy(header + 1, names.data(), names.size());
        HWND target = Item(id);
        if ((::GetWindowLongPtrA(target, GWL_EXSTYLE) & WS_EX_ACCEPTFILES) == 0) {
            RECT rect;
            ::GetWindowRect(target, &rect);
            header->pt = {rect.left + 2, rect.top + 2};
            ::ScreenToClient(Main(), &header->pt);
            target = Main();
        }
        ::GlobalUnlock(drop);
        ::SendMessageA(target, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
        EXPECT_EQ(::GlobalFlags(drop), static_cast<UINT>(GMEM_INVALID_HANDLE))
            << "the drop on " << id << " was not released";
    }

    bool ResultBarShown(bool horizontal) override {
        return (::GetWindowLongPtrA(Item(IDC_RESULT), GWL_STYLE) &
                (horizontal ? WS_HSCROLL : WS_VSCROLL)) != 0;
    }

    bool ResultFontIsFixedPitch() override {
        const HWND box = Item(IDC_RESULT);
        const HDC dc = ::GetDC(box);
        ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageA(box, WM_GETFONT, 0, 0)));
        SIZE narrow = {}, wide = {};
        ::GetTextExtentPoint32A(dc, "iiiiii", 6, &narrow);
        ::GetTextExtentPoint32A(dc, "MMMMMM", 6, &wide);
        ::ReleaseDC(box, dc);
        return narrow.cx == wide.cx;
    }

    std::string HeadlessReport(const std::string& first, const std::string& second) override {
        const TempDir dir;
        const std::string report = dir.File("report.txt");
        // A path of the build as Windows sees it: Wine maps the Unix root to Z:.
        std::string program = TANDREL_EXE;
        std::replace(program.begin(), program.end(), '/', '\\');
        program = program[0] == '\\' ? "Z:" + program : program;
        const auto quoted = [](const std::string& path) { return "\"" + path + "\""; };
        EXPECT_EQ(_spawnl(_P_WAIT, program.c_str(), "tandrel.exe", quoted(first).c_str(),
                          quoted(second).c_str(), quoted(report).c_str(), nullptr),
                  0);
        return ReadFileText(report);
    }

  private:
    HWND Main() const { return window_.Window(); }
    HWND Item(int id) const { return ::GetDlgItem(Main(), id); }

    // A rectangle of the dialog's client area in dialog units, which map to pixels through the
    // dialog font's base units.
    ControlFacts Facts(int id, std::string className, std::string text, RECT r) const {
        RECT base = {0, 0, 4, 8};
        ::MapDialogRect(Main(), &base);
        const LONG bx = base.right, by = base.bottom;
        return {id,
                className,
                text,
                ::MulDiv(r.left, 4, bx),
                ::MulDiv(r.top, 8, by),
                ::MulDiv(r.right - r.left, 4, bx),
                ::MulDiv(r.bottom - r.top, 8, by)};
    }

    Win32MainDialog window_{dialog_};
};

}  // namespace

std::unique_ptr<DialogDriver> DialogDriver::Open() {
    return std::make_unique<Win32DialogDriver>();
}

}  // namespace tandrel::test
