// Files dropped from the shell: WM_DROPFILES with a real HDROP, taken by the two path boxes only
// (the first file of the drop), and released by whichever window receives it.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "tests/support/temp_dir.h"
#include "tests/win32/win32_dialog_under_test.h"

namespace tandrel {
namespace {

using test::IsReleased;
using test::MakeDrop;
using test::TempDir;
using test::Win32DialogUnderTest;

class DialogDrop : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* name : {"one.bin", "two.bin", "three.bin"}) {
            files_.push_back(dir_.Write(name, std::string(name)));
        }
    }

    // Sends the drop to window as the shell does and checks the handle was released.
    void Drop(HWND window, const std::vector<std::string>& paths, POINT at = {5, 5}) {
        const HGLOBAL drop = MakeDrop(paths, at);
        ::SendMessageA(window, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
        EXPECT_TRUE(IsReleased(drop));
    }

    TempDir dir_;
    Win32DialogUnderTest t_;
    std::vector<std::string> files_;
};

TEST_F(DialogDrop, EachBoxTakesTheFirstOfTheDroppedFiles) {
    for (int box : {IDC_FIRST_PATH, IDC_SECOND_PATH}) {
        const int other = box == IDC_FIRST_PATH ? IDC_SECOND_PATH : IDC_FIRST_PATH;
        t_.SetText(box, "typed by hand, longer than any dropped path");
        t_.SetText(other, "other");
        Drop(t_.Item(box), files_);
        EXPECT_EQ(t_.Text(box), files_[0]);
        EXPECT_EQ(t_.Text(other), "other");
        Drop(t_.Item(box), {files_[2]});
        EXPECT_EQ(t_.Text(box), files_[2]);
    }
}

// A dropped name need not exist, and may hold spaces and codes above 127.
TEST_F(DialogDrop, DroppedNamesAreTakenAsTheyAre) {
    const std::string names[] = {
        dir_.File("not there.bin"),
        dir_.File("caf\xE9 r\xE9sum\xE9.bin"),
        "C:\\" + std::string(250, 'n'),
    };
    for (const std::string& name : names) {
        Drop(t_.Item(IDC_FIRST_PATH), {name, files_[0]});
        EXPECT_EQ(t_.Text(IDC_FIRST_PATH), name);
    }
}

// A drop the shell hands to the dialog itself (over the result box, a label or a button, none
// of which accepts files) changes nothing anywhere.
TEST_F(DialogDrop, DropsOnTheDialogDoNothing) {
    t_.SetText(IDC_FIRST_PATH, "first");
    t_.SetText(IDC_SECOND_PATH, "second");
    t_.SetText(IDC_RESULT, "result");
    for (int id : {IDC_RESULT, IDC_COMPARE, IDC_BROWSE_FIRST, IDC_SHORT_NAMES}) {
        RECT rect;
        ::GetWindowRect(t_.Item(id), &rect);
        POINT at = {rect.left + 2, rect.top + 2};
        ::ScreenToClient(t_.Window(), &at);
        Drop(t_.Window(), files_, at);
    }
    Drop(t_.Window(), files_, {0, 0});
    EXPECT_EQ(t_.Text(IDC_FIRST_PATH), "first");
    EXPECT_EQ(t_.Text(IDC_SECOND_PATH), "second");
    EXPECT_EQ(t_.Text(IDC_RESULT), "result");
    EXPECT_TRUE(::IsWindow(t_.Window()));
}

// The boxes stay edit boxes under their new window procedures: typing and Compare still work.
TEST_F(DialogDrop, DroppedPathsCompare) {
    const std::string first = dir_.Write("caf\xE9.bin", std::string("AB"));
    Drop(t_.Item(IDC_FIRST_PATH), {first});
    Drop(t_.Item(IDC_SECOND_PATH), {files_[0], files_[1]});
    const HWND box = t_.Item(IDC_SECOND_PATH);
    ::SendMessageA(box, EM_SETSEL, files_[0].size(), files_[0].size());
    ::SendMessageA(box, WM_CHAR, 'x', 1);
    EXPECT_EQ(t_.Text(IDC_SECOND_PATH), files_[0] + "x");
    ::SendMessageA(box, WM_CHAR, VK_BACK, 1);
    EXPECT_EQ(t_.Text(IDC_SECOND_PATH), files_[0]);
    t_.Click(IDC_COMPARE);
    EXPECT_EQ(t_.Text(IDC_RESULT).rfind("Comparing " + first + "\r\n and " + files_[0] + "\r\n", 0),
              0u);
}

// One dialog at a time keeps the boxes' procedures: a second dialog after the first is gone
// takes drops just as well.
TEST(DialogDropAgain, ASecondDialogTakesDropsToo) {
    TempDir dir;
    const std::string file = dir.Write("again.bin", std::string("x"));
    for (int round = 0; round < 2; ++round) {
        Win32DialogUnderTest t;
        const HGLOBAL drop = MakeDrop({file});
        ::SendMessageA(t.Item(IDC_SECOND_PATH), WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
        EXPECT_EQ(t.Text(IDC_SECOND_PATH), file) << round;
        EXPECT_TRUE(IsReleased(drop)) << round;
    }
}

}  // namespace
}  // namespace tandrel
