// The two "..." buttons: the open dialog each asks for, what OK and Cancel do to the box, and
// the real common dialog driven as a user would.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"
#include "tests/win32/win32_dialog_under_test.h"

namespace tandrel {
namespace {

const std::string kOpenFilter("All Files (*.*)\0*.*\0", 21);

using DialogBrowse = test::AnsweredDialogTest;

TEST_F(DialogBrowse, EachButtonAsksForItsOwnBoxAndOkReplacesTheText) {
    struct Case {
        int button;
        int box;
        int other;
        const char* title;
    };
    const std::vector<Case> cases = {
        {IDC_BROWSE_FIRST, IDC_FIRST_PATH, IDC_SECOND_PATH, "Select First file:"},
        {IDC_BROWSE_SECOND, IDC_SECOND_PATH, IDC_FIRST_PATH, "Select Second file:"},
    };
    answer_ = "C:\\chosen\\file name.bin";
    for (const Case& c : cases) {
        seen_.clear();
        t_.SetText(c.box, "a longer text typed before browsing");
        t_.SetText(c.other, "other");
        t_.Click(c.button);
        ASSERT_EQ(seen_.size(), 1u);
        EXPECT_EQ(seen_[0].kind, FileDialogKind::kOpen);
        EXPECT_EQ(seen_[0].title, c.title);
        EXPECT_EQ(seen_[0].filter, kOpenFilter);
        EXPECT_EQ(t_.Text(c.box), answer_);
        EXPECT_EQ(t_.Text(c.other), "other");
    }
}

TEST_F(DialogBrowse, CancelKeepsTypedText) {
    t_.SetText(IDC_FIRST_PATH, "typed");
    t_.Click(IDC_BROWSE_FIRST);
    t_.Click(IDC_BROWSE_SECOND);
    EXPECT_EQ(seen_.size(), 2u);
    EXPECT_EQ(t_.Text(IDC_FIRST_PATH), "typed");
    EXPECT_EQ(t_.Text(IDC_SECOND_PATH), "");
}

// The real dialog, with no answerer: a typed name that does not exist is taken as it is.
TEST_F(DialogBrowse, RealDialogAcceptsANameThatDoesNotExist) {
    t_.Host().SetFileDialogAnswerer(nullptr);
    t_.SetText(IDC_FIRST_PATH, "typed before");
    const std::string name = dir_.File("not there yet.bin");
    const auto answer = test::AnswerFileDialog("Select First file:", "All Files (*.*)", name, true);
    t_.Click(IDC_BROWSE_FIRST);
    EXPECT_TRUE(answer->Done());
    EXPECT_EQ(t_.Text(IDC_FIRST_PATH), name);
}

TEST_F(DialogBrowse, RealDialogTakesAnExistingFileAndCancelChangesNothing) {
    t_.Host().SetFileDialogAnswerer(nullptr);
    const std::string chosen = dir_.Write("README", std::string("no dot in this name"));
    {
        const auto answer =
            test::AnswerFileDialog("Select Second file:", "All Files (*.*)", chosen, true);
        t_.Click(IDC_BROWSE_SECOND);
        EXPECT_TRUE(answer->Done());
        EXPECT_EQ(t_.Text(IDC_SECOND_PATH), chosen);
    }
    const auto answer =
        test::AnswerFileDialog("Select Second file:", "All Files (*.*)", dir_.File("other"), false);
    t_.Click(IDC_BROWSE_SECOND);
    EXPECT_TRUE(answer->Done());
    EXPECT_EQ(t_.Text(IDC_SECOND_PATH), chosen);
}

}  // namespace
}  // namespace tandrel
