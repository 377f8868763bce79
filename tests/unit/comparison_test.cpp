#include "engine/comparison.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "platform/file_system.h"
#include "tests/support/fake_result_box.h"
#include "tests/support/pe_builder.h"
#include "tests/support/report_runner.h"

namespace tandrel {
namespace {

using test::Bytes;
using test::Lines;
using test::PeBuilder;

constexpr size_t kSixteenMiB = 16777216;

Bytes With(Bytes bytes, size_t begin, size_t end, uint8_t value) {
    std::fill(bytes.begin() + begin, bytes.begin() + end, value);
    return bytes;
}

class ComparisonTest : public ::testing::Test {
  protected:
    test::TempDir dir_;
};

TEST_F(ComparisonTest, WorkedExampleInFileModeAndDialogMode) {
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir_.Path());
    dir_.Write("a.bin", Bytes{0x41, 0x42, 0x43, 0x44});
    dir_.Write("b.bin", Bytes{0x41, 0x58, 0x59, 0x44});
    EXPECT_EQ(test::FileModeReport("a.bin", "b.bin", dir_),
              Lines({"Comparing a.bin", " and b.bin", "Warning: not a PE file!", "",
                     "File offset = 1", "Bytes Size (dec) = 2", "First file bytes: ", "42 43 ",
                     "Second file bytes: ", "58 59 "}));
    test::FakeResultBox box;
    box.text = "the previous comparison";
    box.spaceSeparator = false;
    PeImageInfo peImage;
    EXPECT_TRUE(RunComparison(peImage, "a.bin", "b.bin", &box, nullptr));
    EXPECT_EQ(box.text,
              "Comparing a.bin\r\n and b.bin\r\nWarning: not a PE file!\r\n\r\n"
              "File offset = 1\r\nBytes Size (dec) = 2\r\nFirst file bytes: \r\n4243\r\n"
              "Second file bytes: \r\n5859\r\n");
    EXPECT_EQ(box.replaceCount + box.scrollBarUpdates, 2);
    // Short names: the part after the last separator.
    test::FakeResultBox shortBox("\n");
    shortBox.shortNames = true;
    std::filesystem::create_directories(dir_.Path() / "sub");
    const std::string sub = dir_.Write(std::string("sub") + kPathSeparator + "c.bin", "ABCD");
    RunComparison(peImage, sub.c_str(), dir_.File("b.bin").c_str(), &shortBox, nullptr);
    EXPECT_EQ(shortBox.text.substr(0, 36), "Comparing c.bin\n and b.bin\nWarning: ");
    std::filesystem::current_path(previous);
}

// Against the plain byte-by-byte walk: sizes, runs at the edges, a run of more text than the
// report buffer holds, runs across the 64 KiB read pieces and the 16 MiB chunk edge, and the
// RVA and VA lines of images (in the headers, a section holding the headers, a PE32 VA that
// wraps, a PE32+ VA past 4 GiB, the first of overlapping sections, one with no raw data, one
// whose end wraps).
TEST_F(ComparisonTest, RecordsAgreeWithTheByteByByteWalk) {
    const Bytes zeros(0xAC, 0);
    const Bytes big(kSixteenMiB + 64, 0x11);
    const Bytes pe32 =
        PeBuilder().Section(0x1000, 0x200, 0x400).Section(0x3000, 0x100, 0x600).Build();
    const Bytes headers = PeBuilder().ImageBase(0xFFFFF000).Section(0x1000, 0x400, 0).Build();
    const Bytes overlaps = PeBuilder{.fileSize = 0x800}
                               .Section(0x1000, 0x200, 0x400)
                               .Section(0x2000, 0, 0x600)
                               .Section(0x3000, 0x200, 0x500)
                               .Section(0x10, 0x200, 0xFFFFFF00u)
                               .Build();
    const Bytes pe64 =
        PeBuilder{.magic = 0x20B}.ImageBase(0x7FF612340000).Section(0x1000, 0x200, 0x400).Build();
    const struct {
        Bytes first;
        Bytes second;
    } cases[] = {
        {{}, {}},
        {Bytes(5000, 0x5A), Bytes(5000, 0x5A)},
        {{1, 2, 3, 4}, {1, 2, 3, 5}},
        {{0, 1, 2, 3, 4}, {0, 9, 2, 9, 9}},
        {zeros, With(zeros, 0xAB, 0xAC, 0xFF)},
        {Bytes(100, 7), With(Bytes(200, 7), 99, 151, 1)},
        {With(Bytes(200, 7), 0, 100, 1), Bytes(100, 7)},
        {Bytes(110000, 0), Bytes(110000, 0xEE)},
        {big, With(With(With(big, 65534, 65537, 0), 131071, 131072, 0), kSixteenMiB - 3,
                   kSixteenMiB + 64, 0)},
        {pe32, With(With(pe32, 0x3FF, 0x401, 0), 0x6FF, 0x700, 0)},
        {headers, With(headers, 0x3FF, 0x400, 0x30)},
        {pe64, With(pe64, 0x410, 0x411, 0)},
        {overlaps, With(With(overlaps, 0x5FF, 0x601, 0), 0x6FF, 0x701, 1)},
        {overlaps, With(overlaps, 0x50, 0x51, 1)},
    };
    int images = 0;
    for (const auto& c : cases) {
        const std::string a = dir_.Write("a.bin", c.first);
        const std::string b = dir_.Write("b.bin", c.second);
        bool ok = false;
        const std::string report = test::FileModeReport(a, b, dir_, &ok);
        EXPECT_TRUE(ok);
        Bytes chunk = c.first;
        chunk.resize(c.first.size() + 4096);
        PeImageInfo image;
        const bool isPe = ParsePeHeader(image, chunk.data(), chunk.size(), c.first.size());
        images += isPe;
        EXPECT_EQ(report, Lines(test::ReferenceReport(a, b, {c.first.begin(), c.first.end()},
                                                      {c.second.begin(), c.second.end()}, true,
                                                      isPe ? &image : nullptr)))
            << c.first.size();
    }
    EXPECT_EQ(images, 5);
}

#ifndef _WIN32
TEST_F(ComparisonTest, AFailedWriteFailsTheRun) {
    const std::string a = dir_.Write("a.bin", Bytes(200000, 0));
    const std::string b = dir_.Write("b.bin", Bytes(200000, 1));
    std::FILE* full = std::fopen("/dev/full", "w");
    PeImageInfo peImage;
    EXPECT_FALSE(RunComparison(peImage, a.c_str(), b.c_str(), nullptr, full));
    std::fclose(full);
}

// Files that change between the size query (opening) and the reads: only on Linux, since
// Windows opens them with read sharing only.
TEST_F(ComparisonTest, ChangingFilesNeverPairDifferentOffsets) {
    const std::string a = dir_.Write("a.bin", Bytes(kSixteenMiB + 10, 1));
    const std::string b = dir_.Write("b.bin", Bytes(kSixteenMiB + 100, 2));
    ChunkPair grown;
    ASSERT_TRUE(grown.Open(a.c_str(), b.c_str()));
    std::filesystem::resize_file(a, kSixteenMiB + 5000);
    uint64_t compared = 0;
    for (int k = 0; k < 3 && grown.ReadChunk(); ++k) {
        compared += grown.CompareLength();
    }
    EXPECT_EQ(compared, kSixteenMiB + 10);  // the size it had when opened
    EXPECT_FALSE(grown.EndedEarly());

    ChunkPair shrunk;
    ASSERT_TRUE(shrunk.Open(a.c_str(), b.c_str()));
    std::filesystem::resize_file(b, 70000);
    ASSERT_TRUE(shrunk.ReadChunk());
    EXPECT_TRUE(shrunk.EndedEarly());
    ASSERT_EQ(shrunk.Segments().size(), 1u);
    EXPECT_EQ(shrunk.Segments()[0].end, 70000u);
}
#endif

}  // namespace
}  // namespace tandrel
