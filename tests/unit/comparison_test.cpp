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
using test::FakeResultBox;
using test::Lines;
using test::PeBuilder;
using test::TempDir;

constexpr size_t kSixteenMiB = 16777216;

std::string Record(const std::string& offset, size_t count, const std::string& first,
                   const std::string& second) {
    return Lines({"", "File offset = " + offset, "Bytes Size (dec) = " + std::to_string(count),
                  "First file bytes: ", first, "Second file bytes: ", second});
}

std::string Repeat(const std::string& text, size_t count) {
    std::string out;
    for (size_t k = 0; k < count; ++k) {
        out += text;
    }
    return out;
}

Bytes With(Bytes bytes, size_t begin, size_t end, uint8_t value) {
    std::fill(bytes.begin() + begin, bytes.begin() + end, value);
    return bytes;
}

class ComparisonTest : public ::testing::Test {
  protected:
    // The file-mode report of the pair with the two names left out.
    std::string Body(const Bytes& first, const Bytes& second, bool* ok = nullptr) {
        const std::string a = dir_.Write("a.bin", first);
        const std::string b = dir_.Write("b.bin", second);
        const std::string report = test::FileModeReport(a, b, dir_, ok);
        const std::string names = Lines({"Comparing " + a, " and " + b});
        EXPECT_EQ(report.substr(0, names.size()), names);
        return report.substr(names.size());
    }
    TempDir dir_;
};

TEST_F(ComparisonTest, WorkedExampleInFileModeAndDialogMode) {
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir_.Path());
    dir_.Write("a.bin", Bytes{0x41, 0x42, 0x43, 0x44});
    dir_.Write("b.bin", Bytes{0x41, 0x58, 0x59, 0x44});
    std::filesystem::create_directories(dir_.Path() / "sub");
    dir_.Write("sub/c.bin", Bytes{0x41, 0x42, 0x43, 0x44});
    EXPECT_EQ(test::FileModeReport("a.bin", "b.bin", dir_),
              Lines({"Comparing a.bin", " and b.bin", "Warning: not a PE file!"}) +
                  Record("1", 2, "42 43 ", "58 59 "));
    FakeResultBox box;
    box.text = "the previous comparison";
    box.spaceSeparator = false;
    PeImageInfo peImage;
    EXPECT_TRUE(RunComparison(peImage, "a.bin", "b.bin", &box, nullptr));
    EXPECT_EQ(box.text,
              "Comparing a.bin\r\n and b.bin\r\nWarning: not a PE file!\r\n\r\n"
              "File offset = 1\r\nBytes Size (dec) = 2\r\nFirst file bytes: \r\n4243\r\n"
              "Second file bytes: \r\n5859\r\n");
    EXPECT_EQ(box.replaceCount, 1);
    EXPECT_EQ(box.scrollBarUpdates, 1);
    // Short names: the part after the last separator.
    FakeResultBox shortBox("\n");
    shortBox.shortNames = true;
    const std::string sub = std::string("sub") + kPathSeparator + "c.bin";
    RunComparison(peImage, sub.c_str(), dir_.File("b.bin").c_str(), &shortBox, nullptr);
    EXPECT_EQ(shortBox.text.substr(0, 36), "Comparing c.bin\n and b.bin\nWarning: ");
    std::filesystem::current_path(previous);
}

TEST_F(ComparisonTest, RecordsOfRunsAndSizes) {
    struct Case {
        const char* name;
        Bytes first;
        Bytes second;
        std::string body;
    };
    const Bytes zeros(0xAC, 0);
    const Case cases[] = {
        {"empty", {}, {}, ""},
        {"identical", Bytes(5000, 0x5A), Bytes(5000, 0x5A), ""},
        {"last position", {1, 2, 3, 4}, {1, 2, 3, 5}, Record("3", 1, "04 ", "05 ")},
        {"whole file", {1, 2}, {3, 4}, Record("0", 2, "01 02 ", "03 04 ")},
        {"two runs one equal byte apart",
         {0, 1, 2, 3, 4},
         {0, 9, 2, 9, 9},
         Record("1", 1, "01 ", "09 ") + Record("3", 2, "03 04 ", "09 09 ")},
        {"uppercase hex offset", zeros, With(zeros, 0xAB, 0xAC, 0xFF),
         Record("AB", 1, "00 ", "FF ")},
        {"second longer, difference past the minimum", Bytes(100, 7),
         With(Bytes(200, 7), 150, 151, 1),
         Lines({"Different file size, comparing only minimum = 100"})},
        {"first longer", With(Bytes(200, 7), 99, 100, 1), Bytes(100, 7),
         Lines({"Different file size, comparing only minimum = 100"}) +
             Record("63", 1, "01 ", "07 ")},
        {"a run longer than the report buffer goes out whole", Bytes(110000, 0),
         Bytes(110000, 0xEE), Record("0", 110000, Repeat("00 ", 110000), Repeat("EE ", 110000))},
    };
    for (const Case& c : cases) {
        bool ok = false;
        EXPECT_EQ(Body(c.first, c.second, &ok), Lines({"Warning: not a PE file!"}) + c.body)
            << c.name;
        EXPECT_TRUE(ok) << c.name;
    }
}

TEST_F(ComparisonTest, RunsEndAtChunkEdgesButNotAtReadPieces) {
    const Bytes first(kSixteenMiB + 64, 0x11);
    Bytes second = With(first, 65534, 65537, 0x22);                   // across a 64 KiB read piece
    second = With(second, 131071, 131072, 0x22);                      // ends at one
    second = With(second, kSixteenMiB - 3, kSixteenMiB + 2, 0x22);    // across the chunk edge
    second = With(second, kSixteenMiB + 63, kSixteenMiB + 64, 0x44);  // the last position
    EXPECT_EQ(Body(first, second),
              Lines({"Warning: not a PE file!"}) + Record("FFFE", 3, "11 11 11 ", "22 22 22 ") +
                  Record("1FFFF", 1, "11 ", "22 ") + Record("FFFFFD", 3, "11 11 11 ", "22 22 22 ") +
                  Record("1000000", 2, "11 11 ", "22 22 ") + Record("100003F", 1, "11 ", "44 "));
}

std::string HexByte(uint8_t value) {
    char text[4];
    std::snprintf(text, sizeof(text), "%02X ", value);
    return text;
}

TEST_F(ComparisonTest, ImageRecordsTranslateOffsetsInSections) {
    struct Case {
        const char* name;
        Bytes image;
        size_t offset;
        std::string offsetLine;
        std::string rvaLines;
    };
    const std::string end = test::kFileLineEnd;
    const Case cases[] = {
        {"PE32", PeBuilder().Section(0x1000, 0x200, 0x400).Section(0x3000, 0x100, 0x600).Build(),
         0x6FF, "6FF", "RVA = 30FF" + end + "VA = 4030FF" + end},
        {"in the headers", PeBuilder().Section(0x1000, 0x200, 0x400).Build(), 0x3FF, "3FF", ""},
        {"headers inside a section at offset 0", PeBuilder().Section(0x1000, 0x400, 0).Build(),
         0x30, "30", "RVA = 1030" + end + "VA = 401030" + end},
        {"PE32 VA wraps", PeBuilder().ImageBase(0xFFFFF000).Section(0x2000, 0x100, 0x200).Build(),
         0x210, "210", "RVA = 2010" + end + "VA = 1010" + end},
        {"PE32+ VA is 64-bit",
         PeBuilder().Pe32Plus().ImageBase(0x7FF612340000ULL).Section(0x1000, 0x200, 0x400).Build(),
         0x410, "410", "RVA = 1010" + end + "VA = 7FF612341010" + end},
    };
    for (const Case& c : cases) {
        const uint8_t was = c.image[c.offset];
        const Bytes patched = With(c.image, c.offset, c.offset + 1, was ^ 0xFF);
        EXPECT_EQ(Body(c.image, patched),
                  Lines({"", "File offset = " + c.offsetLine}) + c.rvaLines +
                      Lines({"Bytes Size (dec) = 1", "First file bytes: ", HexByte(was),
                             "Second file bytes: ", HexByte(was ^ 0xFF)}))
            << c.name;
    }
    // The headers are read from the first file even where the second has ended.
    const Bytes image = PeBuilder().Section(0x1000, 0x200, 0x400).Build();
    EXPECT_EQ(Body(image, Bytes(image.begin(), image.begin() + 64)),
              Lines({"Different file size, comparing only minimum = 64"}));
}

TEST_F(ComparisonTest, FailuresWriteNothingAndLeaveTheBoxAlone) {
    const std::string good = dir_.Write("good.bin", Bytes{1, 2});
    const std::string missing = dir_.File("missing.bin");
    const std::string folder = dir_.Path().string();
    const std::string pairs[][2] = {{"", good},      {good, ""},     {missing, good},
                                    {good, missing}, {folder, good}, {good, folder}};
    for (const auto& pair : pairs) {
        bool ok = true;
        EXPECT_EQ(test::FileModeReport(pair[0], pair[1], dir_, &ok), "") << pair[0] << pair[1];
        EXPECT_FALSE(ok);
        FakeResultBox box;
        box.text = "kept";
        PeImageInfo peImage;
        EXPECT_FALSE(RunComparison(peImage, pair[0].c_str(), pair[1].c_str(), &box, nullptr));
        EXPECT_EQ(box.text, "kept");
        EXPECT_EQ(box.replaceCount + box.scrollBarUpdates, 0);
    }
}

#ifndef _WIN32
TEST_F(ComparisonTest, AFailedWriteFailsTheRun) {
    const std::string a = dir_.Write("a.bin", Bytes(200000, 0));
    const std::string b = dir_.Write("b.bin", Bytes(200000, 1));
    std::FILE* full = std::fopen("/dev/full", "w");
    ASSERT_NE(full, nullptr);
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
    EXPECT_EQ(shrunk.CompareLength(), 70000u);
    EXPECT_TRUE(shrunk.EndedEarly());
    ASSERT_EQ(shrunk.Segments().size(), 1u);
    EXPECT_EQ(shrunk.Segments()[0].end, 70000u);
}
#endif

}  // namespace
}  // namespace tandrel
