// The main dialog's contract, run against each backend's real dialog: its template, initial
// states, keys, drops, file dialogs, scroll bars, font, the comparison's text and saving it.
#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
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
    DialogContract() { AnswerFileDialogs(std::nullopt); }

    // File dialogs get OK with this path, or Cancel for none, through the backend's own
    // answerer; none waits for a user.
    void AnswerFileDialogs(std::optional<std::string> answer) {
        d_->Host().SetFileDialogAnswerer([answer](const FileDialogRequest&, std::string& path) {
            path = answer.value_or("");
            return answer.has_value();
        });
    }

    void SetText(int id, const std::string& text) { d_->Host().SetItemText(id, text.c_str()); }

    void Compare(const std::string& first, const std::string& second) {
        SetText(IDC_FIRST_PATH, first);
        SetText(IDC_SECOND_PATH, second);
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
    EXPECT_TRUE(d_->Host().IsItemChecked(IDC_SPACE_SEPARATOR));
    EXPECT_FALSE(d_->Host().IsItemChecked(IDC_SHORT_NAMES));
    // Fixed pitch as the user sees it: every character as wide as every other.
    const std::vector<int> advances = d_->ResultFontAdvances();
    ASSERT_EQ(advances.size(), 95u);
    EXPECT_GT(advances[0], 0);
    EXPECT_EQ(std::count(advances.begin(), advances.end(), advances[0]), 95);
}

TEST_F(DialogContract, KeysThatEndTheDialog) {
    const std::vector<std::pair<int, Key>> ending = {
        {IDC_FIRST_PATH, Key::kEnter},  {IDC_SECOND_PATH, Key::kKeypadEnter},
        {IDC_RESULT, Key::kEnter},      {IDC_RESULT, Key::kKeypadEnter},
        {IDC_FIRST_PATH, Key::kEscape}, {IDC_RESULT, Key::kCloseBox}};
    for (const auto& [id, key] : ending) {
        EXPECT_TRUE(d_->KeyEndsRun(id, key)) << id << ", key " << int(key);
    }
    EXPECT_FALSE(d_->KeyEndsRun(IDC_COMPARE, Key::kEnter));  // clicks the focused button instead
}

TEST_F(DialogContract, PathBoxesTakeDroppedAndBrowsedFiles) {
    const std::vector<std::string> files = {dir_.File("one.bin"), dir_.File("two.bin"),
                                            dir_.File("three.bin")};
    SetText(IDC_FIRST_PATH, "typed");
    d_->Drop(IDC_SECOND_PATH, files);
    EXPECT_EQ(d_->Text(IDC_FIRST_PATH), "typed");
    d_->Drop(IDC_FIRST_PATH, {files[1], files[0]});
    for (int elsewhere : {IDC_RESULT, IDC_COMPARE, IDC_SHORT_NAMES}) {
        d_->Drop(elsewhere, {files[2]});
    }
    EXPECT_EQ(d_->Text(IDC_FIRST_PATH), files[1]);
    EXPECT_EQ(d_->Text(IDC_SECOND_PATH), files[0]);
    EXPECT_EQ(d_->Text(IDC_RESULT), "");
    // Browsing: OK replaces the box's text, Cancel keeps it.
    AnswerFileDialogs(dir_.File("chosen file.bin"));
    d_->Click(IDC_BROWSE_FIRST);
    AnswerFileDialogs(std::nullopt);
    d_->Click(IDC_BROWSE_SECOND);
    EXPECT_EQ(d_->Text(IDC_FIRST_PATH), dir_.File("chosen file.bin"));
    EXPECT_EQ(d_->Text(IDC_SECOND_PATH), files[0]);
}

// The box shows 12 to 15 lines of 70 to 90 characters, as the fixed-pitch fonts at hand go. With
// short names the header is narrow: a 20-byte run makes a 60-character line, a 40-byte one a
// 120-character line; one run makes 11 lines, three make 25.
TEST_F(DialogContract, ScrollBarsShowWhenTheTextIsTallerOrWider) {
    d_->Click(IDC_SHORT_NAMES);
    const std::string a = dir_.Write("a.bin", Bytes(600, 0));
    const auto run = [](int length) {
        Bytes bytes(600, 0);
        std::fill(bytes.begin() + 100, bytes.begin() + 100 + length, 0xEE);
        return bytes;
    };
    // The bars each case calls for: horizontal, vertical.
    using Case = std::tuple<const char*, Bytes, std::pair<bool, bool>>;
    for (const auto& [name, second, bars] :
         {Case{"short", run(20), {false, false}}, Case{"wide", run(40), {true, false}},
          Case{"tall", OneByteRuns(3, 600), {false, true}}}) {
        Compare(a, dir_.Write(std::string(name) + ".bin", second));
        EXPECT_EQ(d_->ResultBars(), bars) << name;
    }
    Compare(a, dir_.File("missing.bin"));
    EXPECT_EQ(d_->ResultBars(), std::pair(false, true));
}

// A typed path longer than the 1,999 characters a Compare reads is never cut, not even when the
// cut would name another file: the Compare fails as for a path that cannot be opened.
TEST_F(DialogContract, APathTooLongToReadIsNeverCut) {
#ifdef _WIN32
    GTEST_SKIP() << "ANSI paths end at 259 characters: neither such a path nor its cut opens";
#endif
    std::filesystem::path folder = dir_.Path();
    while (folder.string().size() < 1999 - 300) {
        folder /= std::string(200, 'd');
    }
    std::filesystem::create_directories(folder);
    const std::string prefix = (folder / "").string();
    const std::string cut = prefix + std::string(1999 - prefix.size(), 'f');
    dir_.Write(cut, "AB");
    dir_.Write(cut + ".orig", "AB");
    Compare(cut, dir_.Write("second", "AC"));
    ASSERT_NE(d_->Text(IDC_RESULT), "");  // the 1,999-character path itself is read
    SetText(IDC_RESULT, "earlier");
    Compare(cut + ".orig", dir_.File("second"));
    EXPECT_EQ(d_->Text(IDC_RESULT), "earlier");
}

// A PE32 first file, a size line, records with and without RVA, in the box as in the file; then
// saved, edited by hand, byte for byte.
TEST_F(DialogContract, BoxHoldsTheHeadlessReportAndSavesItsEditedText) {
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
    SetText(IDC_RESULT, report + "edited by hand");
    AnswerFileDialogs(dir_.File("saved.txt"));
    d_->Click(IDC_SAVE_RESULT);
    EXPECT_EQ(ReadFileText(dir_.File("saved.txt")), report + "edited by hand");
}

}  // namespace
}  // namespace tandrel::test
