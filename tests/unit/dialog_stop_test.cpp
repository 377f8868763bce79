// Where the result box's text stops: a box holds at most 299,999 characters, and what it holds
// is always the start of the full report.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "engine/comparison.h"
#include "tests/support/fake_result_box.h"
#include "tests/support/report_runner.h"

namespace tandrel {
namespace {

using test::Bytes;
using test::TempDir;

// The file-mode report with plain "\n" line ends, whatever the platform stores.
std::string PlainReport(const std::string& first, const std::string& second, const TempDir& dir) {
    std::string report = test::FileModeReport(first, second, dir);
    report.erase(std::remove(report.begin(), report.end(), '\r'), report.end());
    return report;
}

// Sweeps the full report's length across the stop: the run count brings the report just under
// the target, then the second file's name is padded until the report is exactly that long.
TEST(DialogStop, BoxTextIsTheReportCutAt299999Characters) {
    TempDir dir;
    const std::string a = dir.Write("a.bin", Bytes(80000, 0));
    auto lengthWith = [&](size_t runs) {
        return PlainReport(a, dir.Write("b", test::OneByteRuns(runs, 80000)), dir).size();
    };
    for (size_t target : {299998u, 299999u, 300000u}) {
        size_t length = 0;
        const size_t runs = test::RunsJustUnder(target, lengthWith, length);
        const std::string padded = "b" + std::string(target - length, 'x');
        const std::string b = dir.Write(padded, test::OneByteRuns(runs, 80000));
        const std::string full = PlainReport(a, b, dir);
        ASSERT_EQ(full.size(), target);
        test::FakeResultBox box("\n");
        PeImageInfo peImage;
        EXPECT_TRUE(RunComparison(peImage, a.c_str(), b.c_str(), &box, nullptr));
        EXPECT_EQ(box.text, full.substr(0, std::min<size_t>(target, 299999))) << target;
    }
}

}  // namespace
}  // namespace tandrel
