// Linux inputs read through mapped windows: a file that cannot be mapped is read instead, with
// the same report; a file truncated while mapped ends the comparison with whole records.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <csignal>
#include <filesystem>
#include <vector>

#include "engine/comparison.h"
#include "platform/mapped_window.h"
#include "tests/support/fake_result_box.h"
#include "tests/support/report_runner.h"

namespace tandrel {
namespace {

using test::Bytes;
using test::Lines;

// What the seam does in the case under way: refuse the n-th mapping, or truncate a file when
// the window at an offset is mapped.
int refuseCall = 0;
int mapCalls = 0;
std::string truncatePath;
uint64_t truncateAtWindow = 0;
uint64_t truncateTo = 0;

bool AllowMap(uint64_t) {
    return ++mapCalls != refuseCall;
}
void TruncateWhenMapped(uint64_t offset) {
    if (!truncatePath.empty() && offset == truncateAtWindow) {
        std::filesystem::resize_file(truncatePath, truncateTo);
        truncatePath.clear();
    }
}
// Stands for a handler the program had before; a fault it gets is fatal, as by default.
void EarlierBusHandler(int) {
    std::signal(SIGBUS, SIG_DFL);
}

struct Case {
    int refuseCall;
    const char* truncated;  // "a.bin", "b.bin" or none
    uint64_t atWindow;
    uint64_t toSize;
    std::vector<const char*> offsets;  // of the one-byte records the report holds
};

TEST(MappedInput, RefusedMappingsReadAndTruncationsEndWithWholeRecords) {
    const std::vector<Case> cases = {
        {0, nullptr, 0, 0, {"0", "FFFFFF", "1000000"}},     // mapped
        {1, nullptr, 0, 0, {"0", "FFFFFF", "1000000"}},     // first file read
        {2, nullptr, 0, 0, {"0", "FFFFFF", "1000000"}},     // second file read
        {3, nullptr, 0, 0, {"0", "FFFFFF"}},                // refused past the start
        {0, "b.bin", 16777216, 16781312, {"0", "FFFFFF"}},  // second chunk cut
        {0, "a.bin", 0, 4096, {}},                          // first chunk cut
    };
    for (const Case& c : cases) {
        for (const bool dialog : {false, true}) {
            SCOPED_TRACE(testing::Message()
                         << c.refuseCall << (c.truncated ? c.truncated : "") << c.toSize << dialog);
            test::TempDir dir;
            Bytes first(16777216 + 65536, 2);
            Bytes second = first;
            second[0] = second[16777215] = second[16777216] = 1;
            dir.Write("a.bin", first);
            dir.Write("b.bin", second);
            refuseCall = c.refuseCall;
            mapCalls = 0;
            truncatePath = c.truncated ? dir.File(c.truncated) : "";
            truncateAtWindow = c.atWindow;
            truncateTo = c.toSize;
            TestMappingSeam() = {AllowMap, TruncateWhenMapped};
            std::signal(SIGBUS, EarlierBusHandler);

            const std::string lineEnd = dialog ? "\r\n" : "\n";
            std::string expected;
            if (!c.offsets.empty() || c.truncated == nullptr) {
                expected = Lines({"Comparing " + dir.File("a.bin"), " and " + dir.File("b.bin"),
                                  "Warning: not a PE file!"},
                                 lineEnd);
            }
            for (const char* offset : c.offsets) {
                expected +=
                    Lines({"", std::string("File offset = ") + offset, "Bytes Size (dec) = 1",
                           "First file bytes: ", "02 ", "Second file bytes: ", "01 "},
                          lineEnd);
            }
            std::string report;
            if (dialog) {
                test::FakeResultBox box;
                PeImageInfo peImage;
                RunComparison(peImage, dir.File("a.bin").c_str(), dir.File("b.bin").c_str(), &box,
                              nullptr);
                report = box.text;
            } else {
                report = test::FileModeReport(dir.File("a.bin"), dir.File("b.bin"), dir);
            }
            TestMappingSeam() = {};
            EXPECT_EQ(report, expected);
            // The handler in place before the comparison is back.
            EXPECT_EQ(std::signal(SIGBUS, SIG_DFL), &EarlierBusHandler);
        }
    }
}

}  // namespace
}  // namespace tandrel
#endif
