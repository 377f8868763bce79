// The main dialog's contract, run against each backend's real dialog: its template, initial
// states, keys, drops, file dialogs, scroll bars, font, the comparison's text and saving it.
#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <optional>

#include "res/main_dialog_rows.h"
#include "res/resource.h"
#include "tests/dialog/dialog_driver.h"
#include "tests/support/pe_builder.h"
#include "tests/support/report_runner.h"

namespace tandrel::test {
namespace {

class DialogContract : public ::testing::Test {
  protected:
    DialogContract() { AnswerFileDialogs(std::nullopt); }

    // File dialogs get OK with this path, or Cancel for none, through the backend's own
    // answerer; none waits for a user. Each request is kept as "title|filter|" ("|" for each
    // zero), and whether the wait cursor showed meanwhile.
    void AnswerFileDialogs(std::optional<std::string> answer) {
        d_->Host().SetFileDialogAnswerer(
            [this, answer](const FileDialogRequest& request, std::string& path) {
                asked_.push_back(std::string(request.title) + '|');
                for (const char* p = request.filter; *p != '\0'; p += std::strlen(p) + 1) {
                    asked_.back() += std::string(p) + '|';
                }
                waitedWhileAsking_ = waitedWhileAsking_ || d_->WaitCursorShown();
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
    std::vector<std::string> asked_;
    bool waitedWhileAsking_ = false;
};

// Each backend shows the template's rows, in tab order, at their places.
TEST_F(DialogContract, TemplateAndInitialStates) {
    const std::vector<ControlFacts> rows = {{0, "", "Tandrel 3.0", 0, 0, 320, 248},
#define TDL_FACTS(id, cls, text, x, y, width, height, style, exStyle) \
    {id, cls, text, x, y, width, height},
                                            TDL_MAIN_DIALOG_ROWS(TDL_FACTS)
#undef TDL_FACTS
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
    EXPECT_EQ(asked_, std::vector<std::string>({"Select First file:|All Files (*.*)|*.*|",
                                                "Select Second file:|All Files (*.*)|*.*|"}));
}

// The box shows 12 to 15 lines of 70 to 90 characters, as the fixed-pitch fonts at hand go. With
// short names the header is narrow: a 20-byte run makes a 60-character line, a 40-byte one a
// 120-character line; one run makes 11 lines, three make 25.
TEST_F(DialogContract, ScrollBarsShowWhenTheTextIsTallerOrWider) {
    d_->Click(IDC_SHORT_NAMES);
    const std::string a = dir_.Write("a.bin", std::string(600, '\0'));
    // The second file: the first's zeros with runs of these lengths, from offset 100 on.
    const auto runs = [](std::vector<int> lengths) {
        std::string bytes(600, '\0');
        for (size_t k = 0, at = 100; k < lengths.size(); at += lengths[k++] + 10) {
            bytes.replace(at, lengths[k], lengths[k], '\xEE');
        }
        return bytes;
    };
    // The bars each case calls for: horizontal, vertical.
    using Case = std::tuple<const char*, std::string, std::pair<bool, bool>>;
    for (const auto& [name, second, bars] :
         {Case{"short", runs({20}), {false, false}}, Case{"wide", runs({40}), {true, false}},
          Case{"tall", runs({1, 1, 1}), {false, true}}}) {
        Compare(a, dir_.Write(std::string(name) + ".bin", second));
        EXPECT_EQ(d_->ResultBars(), bars) << name;
    }
}

// A Compare that cannot be done says why in the box, in the line the command line prints on
// standard error after "tandrel: ", and the bars fit that line.
TEST_F(DialogContract, ACompareThatCannotBeDoneSaysWhyInTheBox) {
#ifdef _WIN32
    const std::string missing = ": cannot be opened", folder = ": cannot be opened";
#else
    const std::string missing = ": No such file or directory", folder = ": Is a directory";
#endif
    const std::string a = dir_.Write("a.bin", std::string(600, '\0'));
    std::filesystem::create_directory(dir_.File("folder"));
    // Names relative to the test's folder: the line fits the box wherever the folder lies.
    const std::filesystem::path here = std::filesystem::current_path();
    std::filesystem::current_path(dir_.Path());
    const std::string absent = "missing.bin", inside = "folder";
    using Case = std::tuple<std::string, std::string, std::string>;
    for (const auto& [first, second, line] :
         {Case{a, absent, absent + missing}, Case{absent, a, absent + missing},
          Case{inside, a, inside + folder}, Case{a, "", "a file name is empty"}}) {
        Compare(a, dir_.Write("tall.bin", std::string(600, '\x01')));  // a box with bars
        Compare(first, second);
        EXPECT_EQ(d_->Text(IDC_RESULT), line);
        EXPECT_EQ(d_->ResultBars(), std::pair(false, false)) << line;
    }
    std::filesystem::current_path(here);
    EXPECT_TRUE(d_->TakeMessages().empty());
#ifndef _WIN32
    // A file shorter than its size (a kernel setting's file) ends the report with its line.
    const std::string setting = "/sys/kernel/mm/transparent_hugepage/enabled";
    if (!std::filesystem::exists(setting)) {
        GTEST_SKIP() << "no " << setting << " to read past its content";
    }
    Compare(setting, a);
    const std::string box = d_->Text(IDC_RESULT);
    EXPECT_EQ(box.substr(0, 10), "Comparing ");
    EXPECT_EQ(box.substr(box.rfind('\n') + 1),
              setting +
                  ": ended before its size (it changed while it was compared, or its size "
                  "is not its length)");
#endif
}

// A typed path longer than the 1,999 characters a Compare reads is never cut, not even when the
// cut would name another file: the Compare fails as for a path that cannot be opened. (Windows'
// ANSI paths end at 259 characters: there neither such a path nor its cut opens.)
#ifndef _WIN32
TEST_F(DialogContract, APathTooLongToReadIsNeverCut) {
    std::string cut = dir_.Path().string();
    while (cut.size() < 1999 - 300) {
        cut += "/" + std::string(200, 'd');
    }
    std::filesystem::create_directories(cut);
    cut += "/" + std::string(1999 - cut.size() - 1, 'f');
    dir_.Write(cut, "AB");
    dir_.Write(cut + "x", "AB");
    Compare(cut, dir_.Write("second", "AC"));
    ASSERT_EQ(d_->Text(IDC_RESULT).substr(0, 10), "Comparing ");  // 1,999 characters are read
    Compare(cut + "x", dir_.File("second"));
    EXPECT_EQ(d_->Text(IDC_RESULT), cut + "x: File name too long");
}
#endif

// A PE32 first file, a size line, records with and without RVA: in the box as in the file, the
// options aside.
TEST_F(DialogContract, BoxHoldsTheHeadlessReportInItsOptions) {
    Bytes first = PeBuilder{.imageBase = 0x10000000}.Section(0x1000, 0x200, 0x200).Build();
    first.resize(0x400, 0x11);
    Bytes second = first;
    second[0x20] ^= 0xFF;
    second[0x210] ^= 0xFF;
    second.insert(second.end(), 7, 0x99);
    const std::string a = dir_.Write("image.exe", first);
    const std::string b = dir_.Write("patched.exe", second);
    // The report a headless run writes, as its file stores it.
    const Compared headless = FileModeReport(a, b, dir_);
    ASSERT_TRUE(headless.done);
    const std::string& report = headless.report;
    const std::string end = kFileLineEnd;
    EXPECT_NE(report.find(end + "RVA = 1010" + end + "VA = 10001010" + end), std::string::npos);
    EXPECT_NE(report.find(end + "Different file size, comparing only minimum = 1024" + end),
              std::string::npos);
    Compare(a, b);
    EXPECT_EQ(d_->Text(IDC_RESULT), report);
    EXPECT_FALSE(d_->WaitCursorShown());
    // The options: the files' names alone, hex pairs packed.
    d_->Click(IDC_SPACE_SEPARATOR);
    d_->Click(IDC_SHORT_NAMES);
    Compare(a, b);
    const std::string box = d_->Text(IDC_RESULT), line = d_->Host().LineEnd();
    EXPECT_EQ(box.substr(0, box.find("Different")),
              "Comparing image.exe" + line + " and patched.exe" + line);
    EXPECT_NE(box.find(line + "First file bytes: " + line + "00" + line), std::string::npos);
    // A longer report than the box holds is cut at 299,999 characters.
    Compare(dir_.Write("zeros", std::string(120000, '\0')),
            dir_.Write("z", std::string(120000, 'Z')));
    EXPECT_EQ(d_->Text(IDC_RESULT).size(), 299999u);
}

// Save result writes the whole box as it stands (typed into, and longer than the report buffer
// too) to a new file named by the .txt rule, asking with its title and filter, and says nothing.
// It asks nothing for an empty box.
// Two folders in the path boxes compare as on the command line: each differing pair's report,
// the entries on one side only, and the total.
TEST_F(DialogContract, TwoFoldersCompareAsOnTheCommandLine) {
    std::filesystem::create_directories(dir_.File("A"));
    std::filesystem::create_directories(dir_.File("B"));
    dir_.Write("A/x", "ABCD");
    dir_.Write("B/x", "AXYD");
    dir_.Write("A/same", "s");
    dir_.Write("B/same", "s");
    dir_.Write("B/y", "");
#ifdef _WIN32
    const std::string separator = "\\";
#else
    const std::string separator = "/";
#endif
    const std::string a = dir_.File("A"), b = dir_.File("B"), e = d_->Host().LineEnd();
    Compare(a, b);
    EXPECT_EQ(d_->Text(IDC_RESULT),
              "Comparing " + a + separator + "x" + e + " and " + b + separator + "x" + e +
                  "Warning: not a PE file!" + e + e + "File offset = 1" + e +
                  "Bytes Size (dec) = 2" + e + "First file bytes: " + e + "42 43 " + e +
                  "Second file bytes: " + e + "58 59 " + e + e + "Only in " + b + ": y" + e + e +
                  "Total: 2 pairs of files (1 identical, 1 different), 0 only in the first, 1 "
                  "only in the second, 0 mismatches, 0 pairs of links (0 differing), 0 errors; 1 "
                  "run, 2 differing bytes." +
                  e);
}

TEST_F(DialogContract, SaveResultWritesTheWholeBoxToANewTxtFile) {
    d_->Click(IDC_SAVE_RESULT);
    EXPECT_TRUE(asked_.empty());
    std::string text;
    while (text.size() < 300000 + 4096) {
        text += "File offset = 1" + std::string(d_->Host().LineEnd());
    }
    SetText(IDC_RESULT, text);
    const std::pair<const char*, const char*> names[] = {{"plain", "plain.txt"},
                                                         {"upper.TXT", "upper.TXT"},
                                                         {"mixed.tXt", "mixed.tXt"},
                                                         {"other.log", "other.log.txt"},
                                                         {"a.txt.bak", "a.txt.bak.txt"},
                                                         {"txt", "txt.txt"},
                                                         {".txt", ".txt"}};
    for (const auto& [chosen, created] : names) {
        AnswerFileDialogs(dir_.File(chosen));
        d_->Click(IDC_SAVE_RESULT);
        EXPECT_EQ(ReadFileText(dir_.File(created)), text) << chosen;
    }
    EXPECT_TRUE(d_->TakeMessages().empty());
    EXPECT_EQ(FolderFiles(dir_.Path()).size(), std::size(names));
    EXPECT_EQ(asked_.back(), "Save result into txt file:|All Files (*.txt)|*.txt|");
    EXPECT_FALSE(d_->WaitCursorShown() || waitedWhileAsking_);
}

// A name that exists, or a folder that is not there, is told in a message box titled with the
// dialog's caption, "FILE: reason", and nothing is written; Cancel says nothing. The save dialog
// itself does not ask whether to replace a file: the save never does.
TEST_F(DialogContract, SaveResultThatCannotWriteSaysWhy) {
#ifdef _WIN32
    const std::string exists = ": File exists", noFolder = ": Path not found";
#else
    const std::string exists = ": File exists", noFolder = ": No such file or directory";
#endif
    SetText(IDC_RESULT, "File offset = 1");
    dir_.Write("kept.txt", "old");
    const std::string kept = dir_.File("kept.txt"), lost = dir_.File("nowhere/lost.txt");
    using Case = std::tuple<std::optional<std::string>, std::vector<std::string>>;
    for (const auto& [answer, messages] :
         {Case{dir_.File("kept"), {"Tandrel 3.0|" + kept + exists}},
          Case{kept, {"Tandrel 3.0|" + kept + exists}},
          Case{dir_.File("nowhere/lost"), {"Tandrel 3.0|" + lost + noFolder}},
          Case{std::nullopt, {}}}) {
        AnswerFileDialogs(answer);
        d_->Click(IDC_SAVE_RESULT);
        EXPECT_EQ(d_->TakeMessages(), messages) << answer.value_or("Cancel");
    }
    EXPECT_EQ(ReadFileText(kept), "old");
    EXPECT_EQ(FolderFiles(dir_.Path()).size(), 1u);
    EXPECT_FALSE(d_->WaitCursorShown());
    // The window system's own save dialog takes the name that exists without asking.
    d_->Host().SetFileDialogAnswerer(nullptr);
    d_->TypeInFileDialog(kept);
    d_->Click(IDC_SAVE_RESULT);
    EXPECT_EQ(d_->TakeMessages(), std::vector<std::string>({"Tandrel 3.0|" + kept + exists}));
    EXPECT_EQ(ReadFileText(kept), "old");
#ifndef _WIN32
    std::string text;
    while (text.size() < 300000 + 4096) {
        text += "File offset = 1\n";
    }
    SetText(IDC_RESULT, text);
    rlimit old;
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const rlimit cap = {100000, old.rlim_max};
    const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &cap), 0);
    AnswerFileDialogs(dir_.File("cut.txt"));
    d_->Click(IDC_SAVE_RESULT);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldSignal);
    EXPECT_FALSE(std::filesystem::exists(dir_.File("cut.txt")));
    EXPECT_EQ(d_->TakeMessages(), std::vector<std::string>({"Tandrel 3.0|" + dir_.File("cut.txt") +
                                                            ": File too large"}));
#endif
}

}  // namespace
}  // namespace tandrel::test
