// Save result: when a dialog is asked for, the name the file gets, that an existing file is
// never overwritten, and that the saved bytes are the box's text exactly.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "engine/report_buffer.h"
#include "tests/cli/windows_launcher.h"
#include "tests/support/temp_dir.h"
#include "tests/win32/ansi_files.h"
#include "tests/win32/win32_dialog_under_test.h"

namespace tandrel {
namespace {

using test::Bytes;
using test::ListFolder;
using test::ReadFileText;

const std::string kSaveFilter("All Files (*.txt)\0*.txt\0", 25);

class DialogSave : public test::AnsweredDialogTest {
  protected:
    // Saves under the name the dialog answers with, or cancels when it is empty.
    void Save(const std::string& answer) {
        answer_ = answer;
        t_.Click(IDC_SAVE_RESULT);
    }
    std::vector<std::string> Names() const { return ListFolder(dir_.Path().string()); }
};

TEST_F(DialogSave, EmptyBoxAsksNothingAndWritesNothing) {
    Save(dir_.File("out.txt"));
    EXPECT_TRUE(seen_.empty());
    EXPECT_TRUE(Names().empty());
}

TEST_F(DialogSave, AsksForATxtFileToSaveInto) {
    t_.SetText(IDC_RESULT, "x");
    Save("");
    ASSERT_EQ(seen_.size(), 1u);
    EXPECT_EQ(seen_[0].kind, FileDialogKind::kSave);
    EXPECT_EQ(seen_[0].title, "Save result into txt file:");
    EXPECT_EQ(seen_[0].filter, kSaveFilter);
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
    t_.SetText(IDC_RESULT, "saved text\r\n");
    for (const auto& [chosen, stored] : cases) {
        Save(dir_.File(chosen));
        EXPECT_EQ(ReadFileText(dir_.File(stored)), "saved text\r\n") << chosen;
    }
    EXPECT_EQ(Names().size(), cases.size());
}

// The file is made new: one that exists, under the chosen name or the one ".txt" makes of it,
// keeps every byte.
TEST_F(DialogSave, ExistingFileStaysByteForByte) {
    const std::string before("old\r\ncontent\0with a zero", 24);
    const std::string existing = dir_.Write("keep.txt", before);
    dir_.Write("keep.log.txt", std::string("other"));
    t_.SetText(IDC_RESULT, "new text");
    Save(existing);
    Save(dir_.File("keep.log"));
    Save(dir_.File("KEEP.TXT"));  // the same file: Windows names ignore case
    EXPECT_EQ(ReadFileText(existing), before);
    EXPECT_EQ(ReadFileText(dir_.File("keep.log.txt")), "other");
    EXPECT_EQ(Names(), (std::vector<std::string>{"keep.log.txt", "keep.txt"}));
}

// What the user typed into the box is what is saved, and it equals the box's own text.
TEST_F(DialogSave, SavesTheEditedBox) {
    const std::string a = dir_.Write("a.bin", Bytes{1, 2, 3});
    const std::string b = dir_.Write("b.bin", Bytes{1, 9, 3});
    t_.Compare(a, b);
    const HWND box = t_.Item(IDC_RESULT);
    const auto end = static_cast<WPARAM>(t_.Text(IDC_RESULT).size());
    ::SendMessageA(box, EM_SETSEL, end, end);
    for (const char c : std::string("edited\tby hand")) {
        ::SendMessageA(box, WM_CHAR, static_cast<unsigned char>(c), 1);
    }
    const std::string text = t_.Text(IDC_RESULT);
    ASSERT_NE(text.find("\r\nFile offset = 1\r\n"), std::string::npos);
    ASSERT_EQ(text.substr(text.size() - 14), "edited\tby hand");
    Save(dir_.File("edited"));
    EXPECT_EQ(ReadFileText(dir_.File("edited.txt")), text);
}

TEST_F(DialogSave, SavedResultEqualsTheHeadlessReport) {
    const std::string a = dir_.Write("a.bin", Bytes{0, 1, 2, 3, 4, 5, 6, 7});
    const std::string b = dir_.Write("b.bin", Bytes{0, 9, 2, 9, 9, 5});
    const std::string report = test::HeadlessReport(a, b);
    ASSERT_NE(report.find("\r\nDifferent file size, comparing only minimum = 6\r\n"),
              std::string::npos);
    t_.Compare(a, b);
    Save(dir_.File("saved.txt"));
    EXPECT_EQ(ReadFileText(dir_.File("saved.txt")), report);
}

// Around the report buffer's size, and longer: written whole.
TEST_F(DialogSave, TextLongerThanTheReportBufferIsSavedWhole) {
    std::string text;
    while (text.size() < kReportBufferSize + 50000) {
        text += "line " + std::to_string(text.size()) + "\r\n";
    }
    for (size_t length : {kReportBufferSize - 1, kReportBufferSize, text.size()}) {
        const std::string part = text.substr(0, length);
        t_.SetText(IDC_RESULT, part);
        const std::string name = dir_.File("long" + std::to_string(length) + ".txt");
        Save(name);
        EXPECT_EQ(ReadFileText(name), part) << length;
    }
}

// The real save dialog: a new name typed without ".txt" gets it.
TEST_F(DialogSave, RealDialogSavesANewName) {
    t_.Host().SetFileDialogAnswerer(nullptr);
    t_.SetText(IDC_RESULT, "box text\r\nsecond line");
    const auto answer = test::AnswerFileDialog("Save result into txt file:", "All Files (*.txt)",
                                               dir_.File("fresh.LOG"), true);
    t_.Click(IDC_SAVE_RESULT);
    EXPECT_TRUE(answer->Done());
    EXPECT_EQ(ReadFileText(dir_.File("fresh.LOG.txt")), "box text\r\nsecond line");
    EXPECT_EQ(Names(), std::vector<std::string>{"fresh.LOG.txt"});
}

// A typed name that exists brings the dialog's overwrite question, and even a Yes to it leaves
// the file as it was.
TEST_F(DialogSave, RealDialogNeverOverwritesEvenAfterYes) {
    t_.Host().SetFileDialogAnswerer(nullptr);
    t_.SetText(IDC_RESULT, "box text");
    const std::string existing = dir_.Write("exists.txt", std::string("kept as it was"));
    bool asked = false;
    const auto answer = test::AnswerFileDialog("Save result into txt file:", "All Files (*.txt)",
                                               existing, true, IDYES, &asked);
    t_.Click(IDC_SAVE_RESULT);
    EXPECT_TRUE(answer->Done());
    EXPECT_TRUE(asked);
    EXPECT_EQ(ReadFileText(existing), "kept as it was");
    EXPECT_EQ(Names(), std::vector<std::string>{"exists.txt"});
}

}  // namespace
}  // namespace tandrel
