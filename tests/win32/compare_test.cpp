// Compare in the real Win32 dialog: the box text with each option, the headless report's bytes,
// the result box's scroll bars, failed comparisons and the 300,000-character stop.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "engine/report_buffer.h"
#include "tests/support/pe_builder.h"
#include "tests/support/report_runner.h"
#include "tests/support/temp_dir.h"
#include "tests/win32/win32_dialog_under_test.h"

namespace tandrel {
namespace {

using test::Bytes;
using test::Lines;
using test::TempDir;
using test::Win32DialogUnderTest;

class DialogCompare : public ::testing::Test {
  protected:
    void SetOptions(bool separator, bool shortNames) {
        t_.SetChecked(IDC_SPACE_SEPARATOR, separator);
        t_.SetChecked(IDC_SHORT_NAMES, shortNames);
    }

    TempDir dir_;
    Win32DialogUnderTest t_;
};

TEST_F(DialogCompare, KnownPairWithEachOption) {
    const std::string a = dir_.Write("a.bin", Bytes{0x41, 0x42, 0x43, 0x44});
    const std::string b = dir_.Write("b.bin", Bytes{0x41, 0x58, 0x59, 0x44});
    struct Case {
        bool separator;
        bool shortNames;
        std::string first, second, firstHex, secondHex;
    };
    const std::vector<Case> cases = {
        {true, false, a, b, "42 43 ", "58 59 "},
        {false, false, a, b, "4243", "5859"},
        {true, true, "a.bin", "b.bin", "42 43 ", "58 59 "},
        {false, true, "a.bin", "b.bin", "4243", "5859"},
    };
    for (const Case& c : cases) {
        SetOptions(c.separator, c.shortNames);
        t_.Compare(a, b);
        const std::string expected =
            Lines({"Comparing " + c.first, " and " + c.second, "Warning: not a PE file!", "",
                   "File offset = 1", "Bytes Size (dec) = 2", "First file bytes: ", c.firstHex,
                   "Second file bytes: ", c.secondHex},
                  "\r\n");
        EXPECT_EQ(t_.Text(IDC_RESULT), expected) << c.separator << c.shortNames;
    }
}

// With the separator on and short names off, the box holds the bytes the real program writes
// headless for the same two paths: a PE32 first file, a size line, records with and without RVA.
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
    const std::string report = test::HeadlessReport(a, b);
    ASSERT_NE(report.find("\r\nRVA = 1010\r\nVA = 10001010\r\n"), std::string::npos) << report;
    ASSERT_NE(report.find("\r\nDifferent file size, comparing only minimum = 1024\r\n"),
              std::string::npos);

    t_.Compare(a, b);
    EXPECT_EQ(t_.Text(IDC_RESULT), report);
}

// Each bar is shown exactly when the box's text goes beyond its page that way.
TEST_F(DialogCompare, ScrollBarsFollowTheTextsSize) {
    SetOptions(true, true);
    const std::string a = dir_.Write("a.bin", Bytes(600, 0));
    Bytes both = test::OneByteRuns(300, 600);
    std::fill(both.begin() + 300, both.begin() + 500, 0xEE);  // one run of 200 bytes
    Bytes lastByte(600, 0);
    lastByte[599] = 7;
    Bytes wide(600, 0);
    std::fill(wide.begin() + 100, wide.begin() + 300, 0xEE);
    struct Case {
        const char* name;
        Bytes second;
        bool horizontal;
        bool vertical;
    };
    const std::vector<Case> cases = {
        {"short", test::OneByteRuns(1, 600), false, false},
        {"tall", test::OneByteRuns(300, 600), false, true},
        {"short again", lastByte, false, false},
        {"wide", wide, true, false},
        {"wide and tall", both, true, true},
        {"identical", Bytes(600, 0), false, false},
    };
    for (const Case& c : cases) {
        t_.Compare(a, dir_.Write(std::string(c.name) + ".bin", c.second));
        EXPECT_EQ(t_.HasBar(SB_HORZ), c.horizontal) << c.name;
        EXPECT_EQ(t_.HasBar(SB_VERT), c.vertical) << c.name;
        for (int bar : {SB_HORZ, SB_VERT}) {
            const SCROLLINFO info = t_.Scroll(bar);
            EXPECT_EQ(t_.HasBar(bar), info.nMax > static_cast<int>(info.nPage))
                << c.name << " bar " << bar << ": max " << info.nMax << ", page " << info.nPage;
        }
    }
}

// Swept across both edges, where one bar's room decides the other: whatever the text, after
// the update each bar is shown exactly when the box's range that way goes beyond its page.
TEST_F(DialogCompare, BarsShowExactlyWhenTheRangePassesThePage) {
    const HWND box = t_.Item(IDC_RESULT);
    RECT format;
    ::SendMessageA(box, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&format));
    const HDC dc = ::GetDC(box);
    const HGDIOBJ old =
        ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageA(box, WM_GETFONT, 0, 0)));
    TEXTMETRICA metrics;
    ::GetTextMetricsA(dc, &metrics);
    ::SelectObject(dc, old);
    ::ReleaseDC(box, dc);
    ASSERT_GT(metrics.tmHeight, 0);
    ASSERT_GT(metrics.tmAveCharWidth, 0);
    const int linesInView = (format.bottom - format.top) / metrics.tmHeight;
    const int columnsInView = (format.right - format.left) / metrics.tmAveCharWidth;
    std::set<std::pair<bool, bool>> seen;
    for (int lines = linesInView - 3; lines <= linesInView + 3; ++lines) {
        for (int columns = columnsInView - 4; columns <= columnsInView + 3; ++columns) {
            std::string text;
            for (int line = 0; line < lines; ++line) {
                text += (line == lines / 2 ? std::string(columns, 'W') : "short") + "\r\n";
            }
            t_.Host().SetItemText(IDC_RESULT, text.c_str());
            t_.Host().UpdateResultScrollBars();
            const std::string where =
                std::to_string(lines) + " lines, " + std::to_string(columns) + " columns";
            for (int bar : {SB_HORZ, SB_VERT}) {
                const SCROLLINFO info = t_.Scroll(bar);
                EXPECT_EQ(t_.HasBar(bar), info.nMax > static_cast<int>(info.nPage))
                    << where << ", bar " << bar << ": max " << info.nMax << ", page " << info.nPage;
            }
            seen.insert({t_.HasBar(SB_HORZ), t_.HasBar(SB_VERT)});
        }
    }
    EXPECT_EQ(seen.size(), 4u);  // the sweep reached every combination
}

TEST_F(DialogCompare, FailedCompareLeavesTextAndBarsAsTheyWere) {
    SetOptions(true, true);  // full paths here are wider than the box
    const std::string a = dir_.Write("a.bin", Bytes(600, 0));
    const std::string b = dir_.Write("b.bin", test::OneByteRuns(300, 600));
    std::filesystem::create_directory(dir_.File("folder"));
    t_.Compare(a, b);
    const std::string before = t_.Text(IDC_RESULT);
    ASSERT_TRUE(t_.HasBar(SB_VERT));
    ASSERT_FALSE(t_.HasBar(SB_HORZ));
    const std::vector<std::pair<std::string, std::string>> failing = {
        {"", b},
        {a, ""},
        {"", ""},
        {dir_.File("missing.bin"), b},
        {a, dir_.File("missing.bin")},
        {a, dir_.File("folder")},
        // Longer than the ANSI file calls take.
        {a + std::string(1500, 'x'), b},
    };
    for (const auto& [first, second] : failing) {
        t_.Compare(first, second);
        EXPECT_EQ(t_.Text(IDC_RESULT), before) << first << " | " << second;
        EXPECT_TRUE(t_.HasBar(SB_VERT)) << first << " | " << second;
        EXPECT_FALSE(t_.HasBar(SB_HORZ)) << first << " | " << second;
    }
}

// The boxes' texts are compared exactly as typed: no trimming, no quote stripping.
TEST_F(DialogCompare, PathsAreUsedExactlyAsTyped) {
    const std::string a = dir_.Write("a.bin", Bytes{1});
    const std::string spaced = dir_.Write(" b.bin", Bytes{2});
    const std::string plainB = dir_.Write("b.bin", Bytes{3});
    t_.SetText(IDC_RESULT, "before");
    for (const std::string& typed : {" " + a, "\"" + a + "\"", "\"" + a}) {
        t_.Compare(typed, plainB);
        EXPECT_EQ(t_.Text(IDC_RESULT), "before") << typed;
    }
    t_.Compare(a, spaced);
    EXPECT_EQ(t_.Text(IDC_RESULT).rfind("Comparing " + a + "\r\n and " + spaced + "\r\n", 0), 0u);
}

// A report longer than the buffer fills the box to 299,999 characters, the start of the full
// report, and the bars are still updated: many records make it tall, one run's hex line wide.
TEST_F(DialogCompare, StopsAtTheReportBuffersEnd) {
    struct Case {
        const char* name;
        Bytes first;
        Bytes second;
        bool horizontal;
        bool vertical;
    };
    const std::vector<Case> cases = {
        {"100,000 one-byte runs", Bytes(200000, 0), test::OneByteRuns(100000, 200000), false, true},
        // Letters, not digits: Wine's edit control lays out long lines of digit pairs very
        // slowly (about a minute for this one), which says nothing about the dialog.
        {"one 150,000-byte run", Bytes(150000, 0xAA), Bytes(150000, 0xBB), true, false},
    };
    // Short names keep the report's first lines narrower than the box; the full report then
    // differs from the box's text in its first two lines only.
    SetOptions(true, true);
    for (const Case& c : cases) {
        const std::string a = dir_.Write("a.bin", c.first);
        const std::string b = dir_.Write("b.bin", c.second);
        const std::string fullHeader = "Comparing " + a + "\r\n and " + b + "\r\n";
        const std::string full = test::FileModeReport(a, b, dir_);
        ASSERT_EQ(full.rfind(fullHeader, 0), 0u) << c.name;
        const std::string expected =
            "Comparing a.bin\r\n and b.bin\r\n" + full.substr(fullHeader.size());
        ASSERT_GT(expected.size(), kReportBufferSize) << c.name;
        t_.Compare(a, b);
        const std::string text = t_.Text(IDC_RESULT);
        EXPECT_EQ(text.size(), kReportBufferSize - 1) << c.name;
        EXPECT_EQ(text, expected.substr(0, kReportBufferSize - 1)) << c.name;
        EXPECT_EQ(t_.HasBar(SB_HORZ), c.horizontal) << c.name;
        EXPECT_EQ(t_.HasBar(SB_VERT), c.vertical) << c.name;
    }
}

// The full report's length swept across the stop: the box holds all of a report of up to
// 299,999 characters and the first 299,999 of a longer one. The run count brings the report just
// under each length, then the second file's name is padded until the report is exactly that long.
TEST_F(DialogCompare, StopSweptAcrossTheLimit) {
    const std::string a = dir_.Write("a.bin", Bytes(80000, 0));
    auto lengthWith = [&](size_t runs) {
        return test::FileModeReport(a, dir_.Write("b", test::OneByteRuns(runs, 80000)), dir_)
            .size();
    };
    constexpr size_t kLongest = kReportBufferSize - 1;
    for (size_t target : {kLongest - 1, kLongest, kLongest + 1, kLongest + 2}) {
        size_t length = 0;
        const size_t runs = test::RunsJustUnder(target, lengthWith, length);
        const std::string b =
            dir_.Write("b" + std::string(target - length, 'x'), test::OneByteRuns(runs, 80000));
        const std::string full = test::FileModeReport(a, b, dir_);
        ASSERT_EQ(full.size(), target);
        t_.Compare(a, b);
        EXPECT_EQ(t_.Text(IDC_RESULT), full.substr(0, std::min(target, kLongest))) << target;
    }
}

}  // namespace
}  // namespace tandrel
