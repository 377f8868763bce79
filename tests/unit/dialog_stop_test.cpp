// Where the result box's text stops: it never grows past the report buffer, and what it holds is
// always the start of the full report.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "engine/comparison.h"
#include "engine/report_buffer.h"
#include "tests/support/fake_result_box.h"
#include "tests/support/report_runner.h"

namespace tandrel {
namespace {

using test::Bytes;
using test::FakeResultBox;
using test::TempDir;

constexpr size_t kLongestBoxText = kReportBufferSize - 1;

std::string ReplaceLineFeeds(const std::string& text, const std::string& lineEnd) {
    std::string out;
    for (char c : text) {
        if (c == '\n') {
            out += lineEnd;
        } else {
            out += c;
        }
    }
    return out;
}

std::string BoxText(const std::string& first, const std::string& second, const char* lineEnd) {
    FakeResultBox box(lineEnd);
    PeImageInfo peImage;
    RunComparison(peImage, first.c_str(), second.c_str(), &box, nullptr);
    EXPECT_EQ(box.replaceCount, 1);
    EXPECT_EQ(box.scrollBarUpdates, 1);
    return box.text;
}

// The file-mode report with plain "\n" line ends, whatever the platform stores.
std::string PlainReport(const std::string& first, const std::string& second, const TempDir& dir) {
    std::string report = test::FileModeReport(first, second, dir);
    report.erase(std::remove(report.begin(), report.end(), '\r'), report.end());
    return report;
}

TEST(DialogStop, ManyRecordsStopAtTheBufferEnd) {
    TempDir dir;
    const std::string a = dir.Write("a.bin", Bytes(200000, 0));
    // 100,000 one-byte runs: a report of several megabytes
    const std::string b = dir.Write("b.bin", test::OneByteRuns(100000, 200000));
    const std::string full = ReplaceLineFeeds(PlainReport(a, b, dir), "\r\n");
    ASSERT_GT(full.size(), 2 * kReportBufferSize);
    const std::string text = BoxText(a, b, "\r\n");
    EXPECT_EQ(text.size(), kLongestBoxText);
    EXPECT_EQ(text, full.substr(0, kLongestBoxText));
}

// Sweeps the full report's length across the stop. The run count brings the report just under
// the target, then the second file's name is padded until the report is exactly that long.
TEST(DialogStop, SweepAroundTheLimit) {
    TempDir dir;
    const Bytes first(80000, 0);
    const std::string a = dir.Write("a.bin", first);
    auto lengthWith = [&](size_t runs) {
        return PlainReport(a, dir.Write("b", test::OneByteRuns(runs, 80000)), dir).size();
    };
    for (size_t target :
         {kLongestBoxText - 1, kLongestBoxText, kLongestBoxText + 1, kLongestBoxText + 2}) {
        size_t length = 0;
        const size_t runs = test::RunsJustUnder(target, lengthWith, length);
        ASSERT_LE(length, target);
        ASSERT_LT(target - length, 100u);
        const std::string b =
            dir.Write("b" + std::string(target - length, 'x'), test::OneByteRuns(runs, 80000));
        const std::string full = PlainReport(a, b, dir);
        ASSERT_EQ(full.size(), target);
        const std::string text = BoxText(a, b, "\n");
        EXPECT_EQ(text, full.substr(0, std::min(target, kLongestBoxText))) << target;
    }
}

}  // namespace
}  // namespace tandrel
