// Enter and Escape in the real modal run: Enter ends the dialog with IDOK from the path boxes,
// the result box and the check boxes, and clicks a focused push button instead; Escape and the
// close box end it with IDCANCEL from anywhere.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"
#include "tests/win32/win32_dialog_under_test.h"

namespace tandrel {
namespace {

using test::Poll;
using test::TempDir;

// What the test ends the run with when the key left the dialog open.
constexpr INT_PTR kStillOpen = -7;

struct KeyOutcome {
    INT_PTR result = 0;
    // The result box's text, read when the key left the dialog open.
    std::string resultText;
};

void SetControlKey(bool down) {
    BYTE keys[256] = {};
    ::GetKeyboardState(keys);
    keys[VK_CONTROL] = down ? 0x80 : 0;
    ::SetKeyboardState(keys);
}

// Runs the dialog modally, calls prepare on it, gives controlId the focus through the dialog
// manager as tabbing would and posts the key to it as the keyboard does (with Ctrl held when
// asked). Posted messages are taken before the next timer tick, so a dialog still open at that
// tick was not ended by the key.
KeyOutcome PressInModalRun(Win32MainDialog& window, int controlId, UINT key, bool control,
                           const std::function<void(HWND)>& prepare = nullptr) {
    KeyOutcome outcome;
    bool pressed = false;
    const Poll poll(
        [&]() {
            const HWND main = window.Window();
            if (main == nullptr || !::IsWindowVisible(main)) {
                return false;
            }
            if (!pressed) {
                if (prepare) {
                    prepare(main);
                }
                const HWND target = ::GetDlgItem(main, controlId);
                ::SendMessageA(main, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(target), TRUE);
                EXPECT_EQ(::GetFocus(), target) << controlId;
                SetControlKey(control);
                ::PostMessageA(target, WM_KEYDOWN, key, 1);
                ::PostMessageA(target, WM_KEYUP, key, 0xC0000001);
                pressed = true;
                return false;
            }
            char text[4096] = {};
            ::GetDlgItemTextA(main, IDC_RESULT, text, sizeof text);
            outcome.resultText = text;
            ::EndDialog(main, kStillOpen);
            return true;
        },
        "the modal dialog", 10000, true);
    outcome.result = window.RunModal();
    SetControlKey(false);
    return outcome;
}

void FillResult(HWND main) {
    ::SetDlgItemTextA(main, IDC_RESULT, "kept");
}

TEST(DialogKeys, EnterAndEscape) {
    struct Case {
        const char* name;
        int controlId;
        UINT key;
        bool control;
        INT_PTR result;
        // The result box's text when the dialog stays open; focusing it selects all of it.
        std::string textLeft;
    };
    const std::vector<Case> cases = {
        {"Enter in the first path box", IDC_FIRST_PATH, VK_RETURN, false, IDOK, ""},
        {"Enter in the second path box", IDC_SECOND_PATH, VK_RETURN, false, IDOK, ""},
        {"Enter in the result box", IDC_RESULT, VK_RETURN, false, IDOK, ""},
        {"Enter on a check box", IDC_SHORT_NAMES, VK_RETURN, false, IDOK, ""},
        {"Escape in a path box", IDC_FIRST_PATH, VK_ESCAPE, false, IDCANCEL, ""},
        {"Escape in the result box", IDC_RESULT, VK_ESCAPE, false, IDCANCEL, ""},
        {"Escape on a push button", IDC_COMPARE, VK_ESCAPE, false, IDCANCEL, ""},
        // The box is no ES_WANTRETURN box: only Ctrl+Enter breaks its line.
        {"Ctrl+Enter in the result box", IDC_RESULT, VK_RETURN, true, kStillOpen, "\r\n"},
        {"Ctrl+Enter in a path box", IDC_FIRST_PATH, VK_RETURN, true, IDOK, ""},
    };
    for (const Case& c : cases) {
        DiffDialog dialog;
        Win32MainDialog window(dialog);
        const KeyOutcome outcome =
            PressInModalRun(window, c.controlId, c.key, c.control, &FillResult);
        EXPECT_EQ(outcome.result, c.result) << c.name;
        if (c.result == kStillOpen) {
            EXPECT_EQ(outcome.resultText, c.textLeft) << c.name;
        }
        EXPECT_EQ(window.Window(), nullptr) << c.name;
        EXPECT_EQ(dialog.Host(), nullptr) << c.name;
    }
}

// The close box (the system menu's Close) ends the run as Escape does.
TEST(DialogKeys, CloseBoxEndsWithCancel) {
    DiffDialog dialog;
    Win32MainDialog window(dialog);
    const Poll poll(
        [&]() {
            if (window.Window() == nullptr) {
                return false;
            }
            ::PostMessageA(window.Window(), WM_SYSCOMMAND, SC_CLOSE, 0);
            return true;
        },
        "the modal dialog", 10000, true);
    EXPECT_EQ(window.RunModal(), IDCANCEL);
}

// Enter on the focused Compare button compares, and the dialog stays open.
TEST(DialogKeys, EnterOnCompareClicksIt) {
    TempDir dir;
    const std::string a = dir.Write("a.bin", std::string("AB"));
    const std::string b = dir.Write("b.bin", std::string("AC"));
    DiffDialog dialog;
    Win32MainDialog window(dialog);
    const KeyOutcome outcome =
        PressInModalRun(window, IDC_COMPARE, VK_RETURN, false, [&](HWND main) {
            ::SetDlgItemTextA(main, IDC_FIRST_PATH, a.c_str());
            ::SetDlgItemTextA(main, IDC_SECOND_PATH, b.c_str());
        });
    EXPECT_EQ(outcome.result, kStillOpen);
    EXPECT_EQ(outcome.resultText.rfind("Comparing " + a + "\r\n and " + b + "\r\n", 0), 0u)
        << outcome.resultText;
}

}  // namespace
}  // namespace tandrel
