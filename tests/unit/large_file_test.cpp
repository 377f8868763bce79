// Files past 4 GiB, made sparse so they cost no disk space: offsets and sizes must not wrap at
// 32 bits.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "engine/comparison.h"
#include "tests/support/report_runner.h"

namespace tandrel {
namespace {

using test::Bytes;
using test::FileModeReport;
using test::Lines;
using test::TempDir;

constexpr uint64_t kFourGiB = uint64_t{1} << 32;

std::string SparseFile(const TempDir& dir, const std::string& name, uint64_t size,
                       uint64_t markAt = 0, char mark = 0) {
    const std::string path = dir.Write(name, Bytes{});
    std::filesystem::resize_file(path, size);
    if (mark != 0) {
        std::fstream out(path, std::ios::in | std::ios::out | std::ios::binary);
        out.seekp(static_cast<std::streamoff>(markAt));
        out.put(mark);
    }
    return path;
}

TEST(LargeFiles, DifferencePastFourGigabytes) {
    TempDir dir;
    const std::string first = SparseFile(dir, "a.bin", kFourGiB + 16);
    const std::string second = SparseFile(dir, "b.bin", kFourGiB + 16, kFourGiB + 5, '\x7E');
    EXPECT_EQ(FileModeReport(first, second, dir),
              Lines({"Comparing " + first, " and " + second, "Warning: not a PE file!", "",
                     "File offset = 100000005", "Bytes Size (dec) = 1", "First file bytes: ", "00 ",
                     "Second file bytes: ", "7E "}));
}

TEST(LargeFiles, SizesFourGigabytesApartDiffer) {
    TempDir dir;
    const std::string first = dir.Write("a.bin", Bytes(16, 0));
    const std::string second = SparseFile(dir, "b.bin", kFourGiB + 16);
    EXPECT_EQ(FileModeReport(first, second, dir),
              Lines({"Comparing " + first, " and " + second, "Warning: not a PE file!",
                     "Different file size, comparing only minimum = 16"}));
}

}  // namespace
}  // namespace tandrel
