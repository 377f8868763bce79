// RunMainDialog, as the program's dialog branch calls it: one modal run of the main dialog,
// whatever ends it, with the host attached only while the window exists.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "tests/win32/win32_dialog_under_test.h"
#include "ui/main_dialog.h"

namespace tandrel {
namespace {

using test::Poll;

TEST(DialogRun, RunsModallyUntilEndedAndReturnsZero) {
    struct Case {
        const char* name;
        UINT message;
        WPARAM wParam;
    };
    const std::vector<Case> cases = {
        {"Escape", WM_KEYDOWN, VK_ESCAPE},
        {"Enter", WM_KEYDOWN, VK_RETURN},
        {"close box", WM_SYSCOMMAND, SC_CLOSE},
    };
    for (const Case& c : cases) {
        DiffDialog dialog;
        HWND seen = nullptr;
        const Poll poll(
            [&]() {
                const HWND main = test::FindThreadDialog("Tandrel 3.0");
                if (main == nullptr) {
                    return false;
                }
                seen = main;
                EXPECT_NE(dialog.Host(), nullptr) << c.name;
                EXPECT_EQ(::GetWindow(main, GW_OWNER), nullptr) << c.name;
                // The key goes where the keyboard would send it: the focused control.
                const HWND target = c.message == WM_KEYDOWN ? ::GetFocus() : main;
                EXPECT_TRUE(target == main || ::IsChild(main, target)) << c.name;
                ::PostMessageA(target, c.message, c.wParam, 0);
                return true;
            },
            "the main dialog", 10000, true);
        int argc = 0;
        EXPECT_EQ(RunMainDialog(argc, nullptr, dialog), 0) << c.name;
        EXPECT_TRUE(poll.Done()) << c.name;
        EXPECT_FALSE(::IsWindow(seen)) << c.name;
        EXPECT_EQ(dialog.Host(), nullptr) << c.name;
    }
}

}  // namespace
}  // namespace tandrel
