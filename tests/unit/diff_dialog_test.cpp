// The dialog's handlers without a window: what they ask of the file dialogs, what they write, and
// what a comparison leaves in the result box. The backends' own parts are in tests/dialog.
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <deque>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include "res/resource.h"
#include "tests/support/temp_dir.h"
#include "ui/diff_dialog.h"

namespace tandrel {
namespace {

using test::ReadFileText;
using test::TempDir;

// Controls as plain texts and check states; file dialogs answered from a queue (none: Cancel).
class FakeHost : public DialogHost {
  public:
    int GetItemTextLength(int id) override { return static_cast<int>(texts[id].size()); }
    int GetItemText(int id, char* buffer, int maxCount) override {
        const std::string copied = texts[id].substr(0, static_cast<size_t>(maxCount) - 1);
        copied.copy(buffer, copied.size());
        buffer[copied.size()] = '\0';
        return static_cast<int>(copied.size());
    }
    void SetItemText(int id, const char* text) override { texts[id] = text; }
    bool IsItemChecked(int id) override { return checks[id]; }
    void SetItemChecked(int id, bool checked) override { checks[id] = checked; }
    const char* LineEnd() const override { return "\r\n"; }
    void SetDialogIcon() override {}
    void PreparePathBoxes() override {}
    void SetResultFont() override {}
    void UpdateResultScrollBars() override { ++barUpdates; }
    bool RunFileDialog(const FileDialogRequest& request, std::string& path) override {
        // The filter is a list of zero-terminated texts ended by an empty one.
        std::string filter;
        for (const char* p = request.filter; *p != '\0'; p += std::strlen(p) + 1) {
            filter += std::string(p) + '|';
        }
        asked.push_back({request.kind, request.title, filter});
        const std::optional<std::string> answer = answers.empty() ? "" : answers.front();
        if (!answers.empty()) {
            answers.pop_front();
        }
        path = answer.value_or("");
        return answer.has_value() && !answer->empty();
    }

    struct Asked {
        FileDialogKind kind;
        std::string title;
        std::string filter;
    };
    std::map<int, std::string> texts;
    std::map<int, bool> checks;
    std::deque<std::optional<std::string>> answers;
    std::vector<Asked> asked;
    int barUpdates = 0;
};

class DialogHandlers : public ::testing::Test {
  protected:
    DialogHandlers() {
        dialog_.AttachHost(&host_);
        dialog_.OnInitDialog();
    }
    size_t FileCount() const {
        const std::filesystem::directory_iterator files(dir_.Path());
        return static_cast<size_t>(std::distance(begin(files), end(files)));
    }

    TempDir dir_;
    FakeHost host_;
    DiffDialog dialog_;
};

TEST_F(DialogHandlers, BrowseAsksWithItsTitleAndFillsItsBox) {
    host_.answers = {std::string("/chosen/1"), std::string("/chosen/2")};
    dialog_.OnCommand(IDC_BROWSE_FIRST);
    dialog_.OnCommand(IDC_BROWSE_SECOND);
    EXPECT_EQ(host_.texts[IDC_FIRST_PATH], "/chosen/1");
    EXPECT_EQ(host_.texts[IDC_SECOND_PATH], "/chosen/2");
    ASSERT_EQ(host_.asked.size(), 2u);
    EXPECT_EQ(host_.asked[0].title, "Select First file:");
    EXPECT_EQ(host_.asked[1].title, "Select Second file:");
    for (const FakeHost::Asked& asked : host_.asked) {
        EXPECT_EQ(asked.kind, FileDialogKind::kOpen);
        EXPECT_EQ(asked.filter, "All Files (*.*)|*.*|");
    }
}

TEST_F(DialogHandlers, SaveNamesTheFileByTheTxtRule) {
    const std::pair<const char*, const char*> cases[] = {{"plain", "plain.txt"},
                                                         {"upper.TXT", "upper.TXT"},
                                                         {"mixed.tXt", "mixed.tXt"},
                                                         {"other.log", "other.log.txt"},
                                                         {"a.txt.bak", "a.txt.bak.txt"},
                                                         {"xtxt", "xtxt.txt"},
                                                         {".txt", ".txt"},
                                                         {"txt", "txt.txt"}};
    host_.texts[IDC_RESULT] = "a\r\r\nb";
    for (const auto& [chosen, created] : cases) {
        host_.answers = {dir_.File(chosen)};
        dialog_.OnCommand(IDC_SAVE_RESULT);
        EXPECT_EQ(ReadFileText(dir_.File(created)), "a\r\r\nb") << chosen;
    }
    EXPECT_EQ(FileCount(), std::size(cases));
    EXPECT_EQ(host_.asked.back().kind, FileDialogKind::kSave);
    EXPECT_EQ(host_.asked.back().title, "Save result into txt file:");
    EXPECT_EQ(host_.asked.back().filter, "All Files (*.txt)|*.txt|");
}

TEST_F(DialogHandlers, SaveWritesNothingForAnEmptyBoxACancelOrAnExistingName) {
    dir_.Write("kept.txt", "old");
    host_.answers = {dir_.File("out.txt")};
    dialog_.OnCommand(IDC_SAVE_RESULT);
    EXPECT_TRUE(host_.asked.empty());  // an empty box asks nothing
    host_.texts[IDC_RESULT] = "new";
    host_.answers = {std::nullopt, dir_.File("kept.txt"), dir_.File("kept")};
    for (int k = 0; k < 3; ++k) {
        dialog_.OnCommand(IDC_SAVE_RESULT);
    }
    EXPECT_EQ(host_.asked.size(), 3u);
    EXPECT_EQ(ReadFileText(dir_.File("kept.txt")), "old");
    EXPECT_EQ(FileCount(), 1u);
}

// A box longer than the report buffer is saved whole; a disk that cannot hold it all (here a
// file-size limit) leaves no file rather than a part that would pass for the whole.
TEST_F(DialogHandlers, SaveWritesTheWholeBoxOrNoFile) {
    std::string text;
    while (text.size() < 300000 + 4096) {
        text += "File offset = 1\r\r\n";
    }
    host_.texts[IDC_RESULT] = text;
    host_.answers = {dir_.File("long.txt")};
    dialog_.OnCommand(IDC_SAVE_RESULT);
    EXPECT_EQ(ReadFileText(dir_.File("long.txt")), text);
#ifndef _WIN32
    rlimit old;
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const rlimit cap = {100000, old.rlim_max};
    const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &cap), 0);
    host_.answers = {dir_.File("cut.txt")};
    dialog_.OnCommand(IDC_SAVE_RESULT);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldSignal);
    EXPECT_FALSE(std::filesystem::exists(dir_.File("cut.txt")));
#endif
}

TEST_F(DialogHandlers, FailedCompareLeavesTheBoxAndItsBarsAlone) {
    host_.texts[IDC_RESULT] = "earlier";
    const int updates = host_.barUpdates;
    for (const std::string& second : {std::string(), dir_.File("missing")}) {
        host_.texts[IDC_FIRST_PATH] = dir_.Write("present", "A");
        host_.texts[IDC_SECOND_PATH] = second;
        dialog_.OnCommand(IDC_COMPARE);
        EXPECT_EQ(host_.texts[IDC_RESULT], "earlier");
    }
    EXPECT_EQ(host_.barUpdates, updates);
}

}  // namespace
}  // namespace tandrel
