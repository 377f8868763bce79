// The two "..." buttons: the open dialog each asks for, what OK and Cancel do to the box, and
// the real Qt file dialog driven as a user would.
#include <gtest/gtest.h>

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QPushButton>
#include <QTest>
#include <cstring>
#include <string>
#include <vector>

#include "tests/qt/dialog_under_test.h"
#include "tests/support/temp_dir.h"

namespace tandrel {
namespace {

using test::DialogUnderTest;
using test::TempDir;

// A file-dialog request as the answerer saw it; the filter with its two terminators.
struct SeenRequest {
    FileDialogKind kind;
    std::string title;
    std::string filter;
};

std::string FilterBytes(const char* filter) {
    const char* end = filter;
    while (*end != '\0') {
        end += std::strlen(end) + 1;
    }
    return std::string(filter, end + 1);
}

class DialogBrowse : public ::testing::Test {
  protected:
    void SetUp() override { t_.Show(); }

    // Answers every file dialog with answer (OK) or, when it is null, Cancel.
    void Answer(const char* answer) {
        t_.Host().SetFileDialogAnswerer(
            [this, answer](const FileDialogRequest& request, std::string& path) {
                seen_.push_back({request.kind, request.title, FilterBytes(request.filter)});
                if (answer == nullptr) {
                    return false;
                }
                path = answer;
                return true;
            });
    }

    TempDir dir_;
    DialogUnderTest t_;
    std::vector<SeenRequest> seen_;
};

TEST_F(DialogBrowse, EachButtonAsksForItsOwnBoxAndOkReplacesTheText) {
    const std::string openFilter("All Files (*.*)\0*.*\0", 21);
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
    for (const Case& c : cases) {
        seen_.clear();
        t_.Host().SetItemText(c.box, "a longer text typed before browsing");
        t_.Host().SetItemText(c.other, "other");
        Answer("/chosen/file name.bin");
        t_.Click(c.button);
        ASSERT_EQ(seen_.size(), 1u);
        EXPECT_EQ(seen_[0].kind, FileDialogKind::kOpen);
        EXPECT_EQ(seen_[0].title, c.title);
        EXPECT_EQ(seen_[0].filter, openFilter);
        EXPECT_EQ(t_.Text(c.box), "/chosen/file name.bin");
        EXPECT_EQ(t_.Text(c.other), "other");
    }
}

TEST_F(DialogBrowse, CancelKeepsTypedText) {
    t_.FirstPath().setFocus();
    QTest::keyClicks(&t_.FirstPath(), QStringLiteral("typed"));
    Answer(nullptr);
    t_.Click(IDC_BROWSE_FIRST);
    t_.Click(IDC_BROWSE_SECOND);
    EXPECT_EQ(seen_.size(), 2u);
    EXPECT_EQ(t_.Text(IDC_FIRST_PATH), "typed");
    EXPECT_EQ(t_.Text(IDC_SECOND_PATH), "");
}

// The real dialog: Qt's own, open mode, the title and filter asked for, and every name listed,
// dotless ones included, as "*.*" means on Windows.
void ExpectOpenDialog(QFileDialog* dialog, const char* title) {
    EXPECT_EQ(dialog->windowTitle(), QString::fromLatin1(title));
    EXPECT_TRUE(dialog->testOption(QFileDialog::DontUseNativeDialog));
    EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptOpen);
    EXPECT_EQ(dialog->fileMode(), QFileDialog::AnyFile);
    EXPECT_EQ(dialog->nameFilters(), QStringList{QStringLiteral("All Files (*.*)")});
    QFileSystemModel* model = dialog->findChild<QFileSystemModel*>();
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(model->nameFilters(), QStringList{QStringLiteral("*")});
}

TEST_F(DialogBrowse, RealDialogAcceptsANameThatDoesNotExist) {
    t_.Host().SetItemText(IDC_FIRST_PATH, "typed before");
    bool shown = false;
    test::WhenShown<QFileDialog>([&](QFileDialog* dialog) {
        shown = true;
        ExpectOpenDialog(dialog, "Select First file:");
        dialog->setDirectory(QString::fromStdString(dir_.Path().string()));
        test::TypeNameAndPress(dialog, QStringLiteral("not there yet.bin"), QDialogButtonBox::Open);
    });
    t_.Click(IDC_BROWSE_FIRST);
    EXPECT_TRUE(shown);
    EXPECT_EQ(t_.Text(IDC_FIRST_PATH), dir_.File("not there yet.bin"));
}

TEST_F(DialogBrowse, RealDialogTakesAnExistingFileAndCancelChangesNothing) {
    const std::string chosen = dir_.Write("README", std::string("no dot in this name"));
    test::WhenShown<QFileDialog>([&](QFileDialog* dialog) {
        ExpectOpenDialog(dialog, "Select Second file:");
        dialog->setDirectory(QString::fromStdString(dir_.Path().string()));
        test::TypeNameAndPress(dialog, QStringLiteral("README"), QDialogButtonBox::Open);
    });
    t_.Click(IDC_BROWSE_SECOND);
    EXPECT_EQ(t_.Text(IDC_SECOND_PATH), chosen);

    test::WhenShown<QFileDialog>([&](QFileDialog* dialog) {
        dialog->setDirectory(QString::fromStdString(dir_.Path().string()));
        test::TypeNameAndPress(dialog, QStringLiteral("other"), QDialogButtonBox::Cancel);
    });
    t_.Click(IDC_BROWSE_SECOND);
    EXPECT_EQ(t_.Text(IDC_SECOND_PATH), chosen);
}

}  // namespace
}  // namespace tandrel
