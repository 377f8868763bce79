// Compare in the real dialog: the box text, the options, the scroll bars, failed comparisons,
// the path bounds and the 300,000-character stop.
#include <gtest/gtest.h>

#include <QFontMetricsF>
#include <QScrollBar>
#include <QTest>
#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "engine/report_buffer.h"
#include "tests/qt/dialog_under_test.h"
#include "tests/support/pe_builder.h"
#include "tests/support/program_run.h"
#include "tests/support/report_runner.h"
#include "tests/support/temp_dir.h"

namespace tandrel {
namespace {

using test::Bytes;
using test::DialogUnderTest;
using test::Lines;
using test::TempDir;

class DialogCompare : public ::testing::Test {
  protected:
    void SetUp() override { t_.Show(); }

    void SetOptions(bool separator, bool shortNames) {
        t_.Check(IDC_SPACE_SEPARATOR).setChecked(separator);
        t_.Check(IDC_SHORT_NAMES).setChecked(shortNames);
    }
    bool HorizontalBar() { return t_.Result().horizontalScrollBar()->isVisible(); }
    bool VerticalBar() { return t_.Result().verticalScrollBar()->isVisible(); }

    TempDir dir_;
    DialogUnderTest t_;
};

TEST_F(DialogCompare, KnownPairWithEachOption) {
    // A backslash is an ordinary character in a name here; only '/' separates.
    const std::string a = dir_.Write("a.bin", Bytes{0x41, 0x42, 0x43, 0x44});
    const std::string b = dir_.Write("x\\b.bin", Bytes{0x41, 0x58, 0x59, 0x44});
    struct Case {
        bool separator;
        bool shortNames;
        std::string first, second, firstHex, secondHex;
    };
    const std::vector<Case> cases = {
        {true, false, a, b, "42 43 ", "58 59 "},
        {false, false, a, b, "4243", "5859"},
        {true, true, "a.bin", "x\\b.bin", "42 43 ", "58 59 "},
        {false, true, "a.bin", "x\\b.bin", "4243", "5859"},
    };
    for (const Case& c : cases) {
        SetOptions(c.separator, c.shortNames);
        t_.Compare(a, b);
        const std::string expected =
            Lines({"Comparing " + c.first, " and " + c.second, "Warning: not a PE file!", "",
                   "File offset = 1", "Bytes Size (dec) = 2", "First file bytes: ", c.firstHex,
                   "Second file bytes: ", c.secondHex},
                  "\n");
        EXPECT_EQ(t_.Text(IDC_RESULT), expected) << c.separator << c.shortNames;
        EXPECT_EQ(t_.Result().toPlainText().toStdString(), expected);
    }
}

// With the separator on and short names off, the box holds the bytes the headless run writes
// for the same two paths: here a PE32 first file, a size line and records with and without RVA.
TEST_F(DialogCompare, BoxTextEqualsTheHeadlessReport) {
    Bytes first = test::PeBuilder().ImageBase(0x10000000).Section(0x1000, 0x200, 0x200).Build();
    first.resize(0x400, 0x11);
    Bytes second = first;
    second[0x20] ^= 0xFF;   // in the headers: no RVA
    second[0x210] ^= 0xFF;  // 16 bytes into the section
    second[0x211] ^= 0x0F;
    second.insert(second.end(), 7, 0x99);  // a size line
    const std::string a = dir_.Write("image.exe", first);
    const std::string b = dir_.Write("patched.exe", second);
    const test::ProgramOutcome run =
        test::RunProgram(dir_.Path().string(), {a, b, dir_.File("report.txt")});
    ASSERT_EQ(run.status, 0);
    const std::string report = test::ReadFileText(dir_.File("report.txt"));
    ASSERT_NE(report.find("RVA = 1010\nVA = 10001010\n"), std::string::npos) << report;
    ASSERT_NE(report.find("Different file size, comparing only minimum = 1024\n"),
              std::string::npos);

    t_.Compare(a, b);
    EXPECT_EQ(t_.Text(IDC_RESULT), report);
}

TEST_F(DialogCompare, ScrollBarsFollowTheTextsSize) {
    SetOptions(true, true);
    const std::string a = dir_.Write("a.bin", Bytes(600, 0));
    Bytes both = test::OneByteRuns(300, 600);
    std::fill(both.begin() + 300, both.begin() + 500, 0xEE);  // one run of 200 bytes
    struct Case {
        const char* name;
        Bytes second;
        bool horizontal;
        bool vertical;
    };
    const std::vector<Case> cases = {
        {"short", test::OneByteRuns(1, 600), false, false},
        {"tall", test::OneByteRuns(300, 600), false, true},
        {"short again",
         [] {
             Bytes b(600, 0);
             b[599] = 7;
             return b;
         }(),
         false, false},
        {"wide",
         [] {
             Bytes b(600, 0);
             std::fill(b.begin() + 100, b.begin() + 300, 0xEE);
             return b;
         }(),
         true, false},
        {"wide and tall", both, true, true},
        {"identical", Bytes(600, 0), false, false},
    };
    for (const Case& c : cases) {
        t_.Compare(a, dir_.Write(std::string(c.name) + ".bin", c.second));
        EXPECT_EQ(HorizontalBar(), c.horizontal) << c.name;
        EXPECT_EQ(VerticalBar(), c.vertical) << c.name;
        // The wide run's line lies out of view in the tall cases, and can be scrolled to
        // sideways all the same.
        QApplication::processEvents();
        EXPECT_EQ(t_.Result().horizontalScrollBar()->maximum() > 0, c.horizontal) << c.name;
    }
}

// Swept across both edges: a bar is shown exactly when the edit's own scroll range, which Qt
// works out from what it has laid out and the viewport it is left with, has something to
// scroll. Near the edges one bar's room decides the other.
TEST_F(DialogCompare, BarsShowExactlyWhenThereIsSomethingToScroll) {
    std::set<std::pair<bool, bool>> seen;
    QFont font = t_.Result().font();
    for (int pixels = 9; pixels <= 14; ++pixels) {
        font.setPixelSize(pixels);
        t_.Result().setFont(font);
        const int columnsAcross = static_cast<int>(
            t_.Result().width() / QFontMetricsF(font).horizontalAdvance(QLatin1Char('W')));
        for (int lines = 6; lines <= 16; ++lines) {
            for (int columns = columnsAcross - 6; columns <= columnsAcross + 3; ++columns) {
                std::string text;
                for (int line = 0; line < lines; ++line) {
                    text += (line == lines / 2 ? std::string(columns, 'W') : "short") + "\n";
                }
                text.pop_back();
                t_.Host().SetItemText(IDC_RESULT, text.c_str());
                t_.Host().UpdateResultScrollBars();
                QApplication::processEvents();
                const bool horizontal = HorizontalBar();
                const bool vertical = VerticalBar();
                const std::string where = std::to_string(pixels) + " px, " + std::to_string(lines) +
                                          " lines, " + std::to_string(columns) + " columns";
                EXPECT_EQ(horizontal, t_.Result().horizontalScrollBar()->maximum() > 0) << where;
                EXPECT_EQ(vertical, t_.Result().verticalScrollBar()->maximum() > 0) << where;
                seen.insert({horizontal, vertical});
            }
        }
    }
    EXPECT_EQ(seen.size(), 4u);  // the sweep reached every combination
}

// The bars are the comparison's to set: editing the box afterwards leaves them alone.
TEST_F(DialogCompare, EditingTheBoxLeavesTheBarsAsTheyWere) {
    SetOptions(true, true);
    t_.Compare(dir_.Write("a.bin", Bytes{1}), dir_.Write("b.bin", Bytes{2}));
    ASSERT_FALSE(HorizontalBar());
    t_.Result().setFocus();
    QTest::keyClicks(&t_.Result(), QString(300, QLatin1Char('w')));
    EXPECT_FALSE(HorizontalBar());
    EXPECT_FALSE(VerticalBar());
}

TEST_F(DialogCompare, FailedCompareLeavesTextAndBarsAsTheyWere) {
    SetOptions(true, false);
    const std::string a = dir_.Write("a.bin", Bytes(600, 0));
    const std::string b = dir_.Write("b.bin", test::OneByteRuns(300, 600));
    std::filesystem::create_directory(dir_.File("folder"));
    t_.Compare(a, b);
    const std::string before = t_.Text(IDC_RESULT);
    ASSERT_TRUE(VerticalBar());
    ASSERT_FALSE(HorizontalBar());
    const std::vector<std::pair<std::string, std::string>> failing = {
        {"", b},
        {a, ""},
        {"", ""},
        {dir_.File("missing.bin"), b},
        {a, dir_.File("missing.bin")},
        {a, dir_.File("folder")},
    };
    for (const auto& [first, second] : failing) {
        t_.Compare(first, second);
        EXPECT_EQ(t_.Text(IDC_RESULT), before) << first << " | " << second;
        EXPECT_TRUE(VerticalBar()) << first << " | " << second;
        EXPECT_FALSE(HorizontalBar()) << first << " | " << second;
    }
}

// The boxes' texts are compared exactly as typed: no trimming, no quote stripping.
TEST_F(DialogCompare, PathsAreUsedExactlyAsTyped) {
    const std::string a = dir_.Write("a.bin", Bytes{1});
    const std::string spaced = dir_.Write(" b.bin", Bytes{2});
    const std::string plainB = dir_.Write("b.bin", Bytes{3});
    t_.Host().SetItemText(IDC_RESULT, "before");
    for (const std::string& typed : {" " + a, a + " ", "\"" + a + "\""}) {
        t_.Compare(typed, plainB);
        EXPECT_EQ(t_.Text(IDC_RESULT), "before") << typed;
    }
    t_.Compare(a, spaced);
    EXPECT_EQ(t_.Text(IDC_RESULT).rfind("Comparing " + a + "\n and " + spaced + "\n", 0), 0u);
}

// A file whose full path is exactly length characters, under folders of at most 200.
std::string FileWithPathLength(const TempDir& dir, size_t length) {
    std::string path = dir.Path().string();
    while (length - path.size() - 1 > 200) {
        const size_t room = length - path.size() - 1;
        path += "/" + std::string(std::min<size_t>(200, room - 2), 'd');
        std::filesystem::create_directory(path);
    }
    path += "/" + std::string(length - path.size() - 1, 'f');
    dir.Write(path.substr(dir.Path().string().size() + 1), Bytes{0x5A});
    EXPECT_EQ(path.size(), length);
    return path;
}

// A box's text is read through a 2,000-byte buffer: its first 1,999 characters are the path.
TEST_F(DialogCompare, PathsAreCutTo1999Characters) {
    struct Case {
        int box;
        size_t fileLength;  // the real file's path
        size_t extra;       // characters typed after it
        bool compared;
    };
    const std::vector<Case> cases = {
        {IDC_FIRST_PATH, 1998, 0, true},    {IDC_FIRST_PATH, 1999, 0, true},
        {IDC_FIRST_PATH, 1999, 1, true},    {IDC_FIRST_PATH, 1999, 501, true},
        {IDC_FIRST_PATH, 2000, 0, false},   {IDC_FIRST_PATH, 2500, 0, false},
        {IDC_SECOND_PATH, 1999, 501, true}, {IDC_SECOND_PATH, 2000, 0, false},
    };
    for (const Case& c : cases) {
        const TempDir deep;
        const std::string path = FileWithPathLength(deep, c.fileLength);
        const std::string typed = path + std::string(c.extra, 'x');
        const std::string other = dir_.Write("other.bin", Bytes{0x5B});
        t_.Host().SetItemText(IDC_RESULT, "before");
        const bool first = c.box == IDC_FIRST_PATH;
        t_.Compare(first ? typed : other, first ? other : typed);
        ASSERT_EQ(t_.Text(c.box).size(), c.fileLength + c.extra);
        const std::string text = t_.Text(IDC_RESULT);
        const std::string header = first ? "Comparing " + path + "\n and " + other + "\n"
                                         : "Comparing " + other + "\n and " + path + "\n";
        if (c.compared) {
            EXPECT_EQ(text.substr(0, header.size()), header) << c.fileLength << "+" << c.extra;
        } else {
            EXPECT_EQ(text, "before") << c.fileLength << "+" << c.extra;
        }
    }
}

// A report longer than the buffer fills the box to 299,999 characters, the start of the full
// report, and the bars are still updated.
TEST_F(DialogCompare, StopsAtTheReportBuffersEnd) {
    const std::string a = dir_.Write("a.bin", Bytes(200000, 0));
    const std::string b = dir_.Write("b.bin", test::OneByteRuns(100000, 200000));
    const std::string full = test::FileModeReport(a, b, dir_);
    ASSERT_GT(full.size(), kReportBufferSize);
    t_.Compare(a, b);
    const std::string text = t_.Text(IDC_RESULT);
    EXPECT_EQ(text.size(), kReportBufferSize - 1);
    EXPECT_EQ(text, full.substr(0, kReportBufferSize - 1));
    EXPECT_TRUE(VerticalBar());
}

}  // namespace
}  // namespace tandrel
