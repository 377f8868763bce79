// Save result: when a dialog is asked for, the name the file gets, that an existing file is
// never overwritten, and that the saved bytes are the box's text exactly.
#include <gtest/gtest.h>

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTextCursor>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/report_buffer.h"
#include "tests/qt/dialog_under_test.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_dir.h"

namespace tandrel {
namespace {

using test::Bytes;
using test::DialogUnderTest;
using test::FileExists;
using test::ReadFileText;
using test::TempDir;

class DialogSave : public ::testing::Test {
  protected:
    void SetUp() override {
        t_.Show();
        t_.Host().SetFileDialogAnswerer(
            [this](const FileDialogRequest& request, std::string& path) {
                ++asked_;
                kind_ = request.kind;
                title_ = request.title;
                filter_.assign(request.filter, 25);
                if (answer_.empty()) {
                    return false;
                }
                path = answer_;
                return true;
            });
    }

    // Saves under the name the dialog answers with, or cancels when it is empty.
    void Save(const std::string& answer) {
        answer_ = answer;
        t_.Click(IDC_SAVE_RESULT);
    }

    std::vector<std::string> Names() {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir_.Path())) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    TempDir dir_;
    DialogUnderTest t_;
    std::string answer_;
    int asked_ = 0;
    FileDialogKind kind_ = FileDialogKind::kOpen;
    std::string title_;
    std::string filter_;
};

TEST_F(DialogSave, EmptyBoxAsksNothingAndWritesNothing) {
    Save(dir_.File("out.txt"));
    EXPECT_EQ(asked_, 0);
    EXPECT_TRUE(Names().empty());
}

TEST_F(DialogSave, AsksForATxtFileToSaveInto) {
    t_.Host().SetItemText(IDC_RESULT, "x");
    Save("");
    EXPECT_EQ(asked_, 1);
    EXPECT_EQ(kind_, FileDialogKind::kSave);
    EXPECT_EQ(title_, "Save result into txt file:");
    EXPECT_EQ(filter_, std::string("All Files (*.txt)\0*.txt\0", 25));
    EXPECT_TRUE(Names().empty());  // Cancel: no file
}

// ".txt" in any case is kept; anything else gets ".txt" after it.
TEST_F(DialogSave, NameGetsTxtUnlessItEndsInTxt) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"plain", "plain.txt"},
        {"upper.TXT", "upper.TXT"},
        {"mixed.tXt", "mixed.tXt"},
        {"lower.txt", "lower.txt"},
        {"log.log", "log.log.txt"},
        {"near.tx", "near.tx.txt"},
        {"dotless_txt", "dotless_txt.txt"},
        {".txt", ".txt"},
        {"txt", "txt.txt"},
        {"a.txt.bak", "a.txt.bak.txt"},
    };
    t_.Host().SetItemText(IDC_RESULT, "saved text\n");
    for (const auto& [chosen, stored] : cases) {
        Save(dir_.File(chosen));
        EXPECT_EQ(ReadFileText(dir_.File(stored)), "saved text\n") << chosen;
    }
    EXPECT_EQ(Names().size(), cases.size());
}

TEST_F(DialogSave, ExistingFileStaysByteForByte) {
    const std::string before("old\r\ncontent\0with a zero", 24);
    const std::string existing = dir_.Write("keep.txt", before);
    dir_.Write("keep.log.txt", std::string("other"));
    t_.Host().SetItemText(IDC_RESULT, "new text");
    Save(existing);
    Save(dir_.File("keep.log"));
    EXPECT_EQ(ReadFileText(existing), before);
    EXPECT_EQ(ReadFileText(dir_.File("keep.log.txt")), "other");
    EXPECT_EQ(Names(), (std::vector<std::string>{"keep.log.txt", "keep.txt"}));
}

// What the user typed into the box is what is saved, and it equals the box's own text.
TEST_F(DialogSave, SavesTheEditedBox) {
    const std::string a = dir_.Write("a.bin", Bytes{1, 2, 3});
    const std::string b = dir_.Write("b.bin", Bytes{1, 9, 3});
    t_.Compare(a, b);
    t_.Result().setFocus();
    t_.Result().moveCursor(QTextCursor::End);
    QTest::keyClicks(&t_.Result(), QStringLiteral("edited by hand"));
    const std::string text = t_.Text(IDC_RESULT);
    ASSERT_NE(text.find("File offset = 1\n"), std::string::npos);
    ASSERT_EQ(text.substr(text.size() - 14), "edited by hand");
    Save(dir_.File("edited"));
    EXPECT_EQ(ReadFileText(dir_.File("edited.txt")), text);
}

TEST_F(DialogSave, SavedResultEqualsTheHeadlessReport) {
    const std::string a = dir_.Write("a.bin", Bytes{0, 1, 2, 3, 4, 5, 6, 7});
    const std::string b = dir_.Write("b.bin", Bytes{0, 9, 2, 9, 9, 5});
    const TempDir reports;
    const std::string report = reports.File("report.txt");
    ASSERT_EQ(test::RunProgram(reports.Path().string(), {a, b, report}).status, 0);
    t_.Compare(a, b);
    Save(dir_.File("saved.txt"));
    EXPECT_EQ(ReadFileText(dir_.File("saved.txt")), ReadFileText(report));
    EXPECT_FALSE(ReadFileText(report).empty());
}

// Longer than the report buffer, and still written whole.
TEST_F(DialogSave, TextLongerThanTheReportBufferIsSavedWhole) {
    std::string text;
    while (text.size() < kReportBufferSize + 50000) {
        text += "line " + std::to_string(text.size()) + "\n";
    }
    for (size_t length : {kReportBufferSize - 1, kReportBufferSize, text.size()}) {
        const std::string part = text.substr(0, length);
        t_.Host().SetItemText(IDC_RESULT, part.c_str());
        const std::string name = dir_.File("long" + std::to_string(length) + ".txt");
        Save(name);
        EXPECT_EQ(ReadFileText(name), part) << length;
    }
}

// The real save dialog: a typed name that exists brings Qt's overwrite question, and even a
// Yes to it leaves the file as it was.
TEST_F(DialogSave, RealDialogNeverOverwritesEvenAfterYes) {
    t_.Host().SetFileDialogAnswerer(nullptr);
    t_.Host().SetItemText(IDC_RESULT, "box text");
    const std::string existing = dir_.Write("exists.txt", std::string("kept as it was"));
    bool asked = false;
    test::WhenShown<QFileDialog>([&](QFileDialog* dialog) {
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Save result into txt file:"));
        EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
        EXPECT_EQ(dialog->nameFilters(), QStringList{QStringLiteral("All Files (*.txt)")});
        dialog->setDirectory(QString::fromStdString(dir_.Path().string()));
        test::WhenShown<QMessageBox>([&](QMessageBox* question) {
            asked = true;
            QAbstractButton* yes = question->button(QMessageBox::Yes);
            ASSERT_NE(yes, nullptr);
            yes->click();
        });
        test::TypeNameAndPress(dialog, QStringLiteral("exists.txt"), QDialogButtonBox::Save);
    });
    t_.Click(IDC_SAVE_RESULT);
    EXPECT_TRUE(asked);
    EXPECT_EQ(ReadFileText(existing), "kept as it was");
    EXPECT_EQ(Names(), std::vector<std::string>{"exists.txt"});
}

TEST_F(DialogSave, RealDialogSavesANewName) {
    t_.Host().SetFileDialogAnswerer(nullptr);
    t_.Host().SetItemText(IDC_RESULT, "box text\nsecond line");
    test::WhenShown<QFileDialog>([&](QFileDialog* dialog) {
        dialog->setDirectory(QString::fromStdString(dir_.Path().string()));
        test::TypeNameAndPress(dialog, QStringLiteral("fresh.LOG"), QDialogButtonBox::Save);
    });
    t_.Click(IDC_SAVE_RESULT);
    EXPECT_EQ(ReadFileText(dir_.File("fresh.LOG.txt")), "box text\nsecond line");
    EXPECT_EQ(Names(), std::vector<std::string>{"fresh.LOG.txt"});
}

}  // namespace
}  // namespace tandrel
