// The main dialog's contract, run against each backend's real dialog: its template, initial
// states, keys, drops, file dialogs, scroll bars, font, the comparison's text and saving it.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/dialog/dialog_driver.h"
#include "tests/support/pe_builder.h"
#include "tests/support/report_runner.h"
#include "tests/support/temp_dir.h"

namespace tandrel::test {
namespace {

class DialogContract : public ::testing::Test {
  protected:
    void Compare(const std::string& first, const std::string& second) {
        d_->SetText(IDC_FIRST_PATH, first);
        d_->SetText(IDC_SECOND_PATH, second);
        d_->Click(IDC_COMPARE);
    }

    TempDir dir_;
    std::unique_ptr<DialogDriver> d_ = DialogDriver::Open();
};

TEST_F(DialogContract, TemplateAndInitialStates) {
    const std::vector<ControlFacts> rows = {
        {0, "", "Tandrel 3.0", 0, 0, 320, 248},
        {IDC_LABEL, "Static", "First file:", 49, 16, 26, 8},
        {IDC_BROWSE_FIRST, "Button", "...", 18, 25, 22, 14},
        {IDC_FIRST_PATH, "Edit", "", 49, 26, 249, 14},
        {IDC_LABEL, "Static", "Second file:", 49, 52, 38, 8},
        {IDC_BROWSE_SECOND, "Button", "...", 17, 62, 22, 14},
        {IDC_SECOND_PATH, "Edit", "", 49, 62, 249, 14},
        {IDC_COMPARE, "Button", "Compare", 18, 87, 50, 14},
        {IDC_SAVE_RESULT, "Button", "Save result", 72, 86, 50, 14},
        {IDC_LABEL, "Static", "Result:", 21, 106, 23, 8},
        {IDC_RESULT, "Edit", "", 17, 119, 284, 107},
        {IDC_SPACE_SEPARATOR, "Button", "Space separator", 127, 89, 68, 10},
        {IDC_SHORT_NAMES, "Button", "Short file name", 195, 90, 63, 10},
    };
    EXPECT_EQ(d_->Controls(), rows);
    EXPECT_TRUE(d_->IsChecked(IDC_SPACE_SEPARATOR));
    EXPECT_FALSE(d_->IsChecked(IDC_SHORT_NAMES));
    EXPECT_TRUE(d_->ResultFontIsFixedPitch());
}

TEST_F(DialogContract, KeysThatEndTheDialog) {
    struct Case {
        int id;
        Key key;
        bool ends;
    };
    const std::vector<Case> cases = {
        {IDC_FIRST_PATH, Key::kEnter, true},  {IDC_SECOND_PATH, Key::kKeypadEnter, true},
        {IDC_RESULT, Key::kEnter, true},      {IDC_RESULT, Key::kKeypadEnter, true},
        {IDC_FIRST_PATH, Key::kEscape, true}, {IDC_RESULT, Key::kEscape, true},
        {IDC_RESULT, Key::kCloseBox, true},   {IDC_RESULT, Key::kCtrlEnter, false},
        {IDC_COMPARE, Key::kEnter, false},  // clicks the focused button instead
    };
    for (const Case& c : cases) {
        EXPECT_EQ(d_->KeyEndsRun(c.id, c.key), c.ends)
            << "control " << c.id << ", key " << static_cast<int>(c.key);
    }
}

TEST_F(DialogContract, DropsPutTheFirstFileIntoThePathBoxOnly) {
    const std::vector<std::string> files = {dir_.File("one.bin"), dir_.File("two.bin"),
                                            dir_.File("three.bin")};
    d_->Type(IDC_FIRST_PATH, "typed");
    d_->Drop(IDC_SECOND_PATH, files);
    EXPECT_EQ(d_->Text(IDC_SECOND_PATH), files[0]);
    EXPECT_EQ(d_->Text(IDC_FIRST_PATH), "typed");
    d_->Drop(IDC_FIRST_PATH, {files[2], files[1]});
    EXPECT_EQ(d_->Text(IDC_FIRST_PATH), files[2]);
    for (int elsewhere : {IDC_RESULT, IDC_COMPARE, IDC_SHORT_NAMES}) {
        d_->Drop(elsewhere, {files[1]});
    }
    EXPECT_EQ(d_->Text(IDC_FIRST_PATH), files[2]);
    EXPECT_EQ(d_->Text(IDC_SECOND_PATH), files[0]);
    EXPECT_EQ(d_->Text(IDC_RESULT), "");
}

TEST_F(DialogContract, BrowseOkReplacesAndCancelKeeps) {
    d_->Type(IDC_FIRST_PATH, "typed first");
    d_->Type(IDC_SECOND_PATH, "typed second");
    const std::string chosen = dir_.File("chosen file.bin");
    d_->AnswerNextFileDialog(chosen);
    d_->Click(IDC_BROWSE_FIRST);
    d_->AnswerNextFileDialog(std::nullopt);
    d_->Click(IDC_BROWSE_SECOND);
    EXPECT_EQ(d_->Text(IDC_FIRST_PATH), chosen);
    EXPECT_EQ(d_->Text(IDC_SECOND_PATH), "typed second");
}

// The box shows about 14 lines and 70 (Qt) to 80 (Wine) characters. With short names the header
// is narrow: a 20-byte run makes a 60-character line, a 28-byte one an 84-character line; one
// run makes 11 lines, two make 18.
TEST_F(DialogContract, ScrollBarsShowWhenTheTextIsTallerOrWider) {
    d_->Click(IDC_SHORT_NAMES);
    const std::string a = dir_.Write("a.bin", Bytes(600, 0));
    const auto run = [](int length) {
        Bytes bytes(600, 0);
        std::fill(bytes.begin() + 100, bytes.begin() + 100 + length, 0xEE);
        return bytes;
    };
    struct Case {
        const char* name;
        Bytes second;
        bool horizontal;
        bool vertical;
    };
    const std::vector<Case> cases = {
        {"short", run(20), false, false},
        {"wide", run(28), true, false},
        {"tall", OneByteRuns(2, 600), false, true},
    };
    for (const Case& c : cases) {
        Compare(a, dir_.Write(std::string(c.name) + ".bin", c.second));
        EXPECT_EQ(d_->ResultBarShown(true), c.horizontal) << c.name;
        EXPECT_EQ(d_->ResultBarShown(false), c.vertical) << c.name;
    }
    const std::string tall = d_->Text(IDC_RESULT);
    Compare(a, dir_.File("missing.bin"));
    EXPECT_EQ(d_->Text(IDC_RESULT), tall);
    EXPECT_FALSE(d_->ResultBarShown(true));
    EXPECT_TRUE(d_->ResultBarShown(false));
}

// A PE32 first file, a size line, records with and without RVA, in the box as in the file.
TEST_F(DialogContract, BoxHoldsTheHeadlessReport) {
    Bytes first = PeBuilder().ImageBase(0x10000000).Section(0x1000, 0x200, 0x200).Build();
    first.resize(0x400, 0x11);
    Bytes second = first;
    second[0x20] ^= 0xFF;
    second[0x210] ^= 0xFF;
    second.insert(second.end(), 7, 0x99);
    const std::string a = dir_.Write("image.exe", first);
    const std::string b = dir_.Write("patched.exe", second);
    const std::string report = d_->HeadlessReport(a, b);
    const std::string end = kFileLineEnd;
    EXPECT_NE(report.find(end + "RVA = 1010" + end + "VA = 10001010" + end), std::string::npos);
    EXPECT_NE(report.find(end + "Different file size, comparing only minimum = 1024" + end),
              std::string::npos);
    Compare(a, b);
    EXPECT_EQ(d_->Text(IDC_RESULT), report);
}

TEST_F(DialogContract, SaveWritesTheEditedBox) {
    Compare(dir_.Write("a.bin", Bytes{1, 2, 3}), dir_.Write("b.bin", Bytes{1, 9, 3}));
    d_->Type(IDC_RESULT, "edited by hand");
    const std::string text = d_->Text(IDC_RESULT);
    ASSERT_NE(text.find("File offset = 1"), std::string::npos);
    ASSERT_EQ(text.substr(text.size() - 14), "edited by hand");
    d_->AnswerNextFileDialog(dir_.File("saved.txt"));
    d_->Click(IDC_SAVE_RESULT);
    EXPECT_EQ(ReadFileText(dir_.File("saved.txt")), text);
}

}  // namespace
}  // namespace tandrel::test
