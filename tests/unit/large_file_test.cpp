// Files past 4 GiB, made sparse so they cost no disk space: offsets and sizes must not wrap at
// 32 bits.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/support/report_runner.h"

namespace tandrel {
namespace {

TEST(LargeFiles, OffsetsAndSizesPastFourGigabytes) {
    test::TempDir dir;
    const std::string a = dir.Write("a.bin", test::Bytes(16, 0));
    const std::string b = dir.Write("b.bin", test::Bytes{});
    std::filesystem::resize_file(b, (uint64_t{1} << 32) + 16);
    const std::string header =
        test::Lines({"Comparing " + a, " and " + b, "Warning: not a PE file!"});
    EXPECT_EQ(test::FileModeReport(a, b, dir),
              header + test::Lines({"Different file size, comparing only minimum = 16"}));
    std::filesystem::resize_file(a, (uint64_t{1} << 32) + 16);
    std::fstream(b, std::ios::in | std::ios::out | std::ios::binary).seekp(0x100000005).put('~');
    EXPECT_EQ(test::FileModeReport(a, b, dir),
              header + test::Lines({"", "File offset = 100000005", "Bytes Size (dec) = 1",
                                    "First file bytes: ", "00 ", "Second file bytes: ", "7E "}));
}

}  // namespace
}  // namespace tandrel
