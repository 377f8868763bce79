#include "engine/comparison.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/file_system.h"
#include "tests/support/fake_result_box.h"
#include "tests/support/pe_builder.h"
#include "tests/support/report_runner.h"

namespace tandrel {
namespace {

using test::Bytes;
using test::FakeResultBox;
using test::FileModeReport;
using test::Lines;
using test::PeBuilder;
using test::TempDir;

// Runs with the working directory inside the test folder, so reports can name relative paths.
class InFolder {
  public:
    explicit InFolder(const TempDir& dir) : previous_(std::filesystem::current_path()) {
        std::filesystem::current_path(dir.Path());
    }
    ~InFolder() { std::filesystem::current_path(previous_); }

  private:
    std::filesystem::path previous_;
};

class ComparisonTest : public ::testing::Test {
  protected:
    std::string Report(const Bytes& first, const Bytes& second) {
        return FileModeReport(dir_.Write("a.bin", first), dir_.Write("b.bin", second), dir_);
    }
    // The report of the pair with the header (two names and the warning) left out.
    std::string Body(const Bytes& first, const Bytes& second) {
        const std::string report = Report(first, second);
        const std::string header = Lines({"Comparing " + dir_.File("a.bin"),
                                          " and " + dir_.File("b.bin"), "Warning: not a PE file!"});
        EXPECT_EQ(report.substr(0, header.size()), header);
        return report.substr(header.size());
    }

    TempDir dir_;
};

std::string Record(const std::string& offset, int count, const std::string& first,
                   const std::string& second) {
    return Lines({"", "File offset = " + offset, "Bytes Size (dec) = " + std::to_string(count),
                  "First file bytes: ", first, "Second file bytes: ", second});
}

TEST_F(ComparisonTest, FileModeWritesTheWorkedExample) {
    dir_.Write("a.bin", Bytes{0x41, 0x42, 0x43, 0x44});
    dir_.Write("b.bin", Bytes{0x41, 0x58, 0x59, 0x44});
    InFolder inside(dir_);
    EXPECT_EQ(FileModeReport("a.bin", "b.bin", dir_),
              Lines({"Comparing a.bin", " and b.bin", "Warning: not a PE file!", "",
                     "File offset = 1", "Bytes Size (dec) = 2", "First file bytes: ", "42 43 ",
                     "Second file bytes: ", "58 59 "}));
}

TEST_F(ComparisonTest, DialogModeBuildsTheExampleInOneReplacement) {
    dir_.Write("a.bin", Bytes{0x41, 0x42, 0x43, 0x44});
    dir_.Write("b.bin", Bytes{0x41, 0x58, 0x59, 0x44});
    InFolder inside(dir_);
    FakeResultBox box;
    box.text = "the previous comparison";
    box.spaceSeparator = false;
    PeImageInfo peImage;
    RunComparison(peImage, "a.bin", "b.bin", &box, nullptr);
    // Each record follows exactly one empty line; no lone carriage return anywhere.
    EXPECT_EQ(box.text,
              "Comparing a.bin\r\n and b.bin\r\nWarning: not a PE file!\r\n\r\n"
              "File offset = 1\r\nBytes Size (dec) = 2\r\nFirst file bytes: \r\n4243\r\n"
              "Second file bytes: \r\n5859\r\n");
    EXPECT_EQ(box.replaceCount, 1);
    EXPECT_EQ(box.scrollBarUpdates, 1);
}

TEST_F(ComparisonTest, DialogOptionsChangeTheHeaderAndHexOnly) {
    std::filesystem::create_directories(dir_.Path() / "sub");
    const std::string first = dir_.Write("sub/left.bin", Bytes{1, 2, 3});
    const std::string second = dir_.Write("right.bin", Bytes{1, 0xAB, 3});
    PeImageInfo peImage;
    FakeResultBox box("\n");
    box.shortNames = true;
    RunComparison(peImage, first.c_str(), second.c_str(), &box, nullptr);
    EXPECT_EQ(box.text,
              Lines({"Comparing left.bin", " and right.bin", "Warning: not a PE file!"}, "\n") +
                  Lines({"", "File offset = 1", "Bytes Size (dec) = 1", "First file bytes: ", "02 ",
                         "Second file bytes: ", "AB "},
                        "\n"));
}

TEST(FileNameFromPath, TakesThePartAfterTheLastSeparatorPastTheFirstCharacter) {
    const std::string sep(1, kPathSeparator);
    struct Case {
        std::string path;
        std::string name;
    };
    const Case cases[] = {
        {"a.bin", "a.bin"},
        {"dir" + sep + "a.bin", "a.bin"},
        {"x" + sep + "y" + sep + "z", "z"},
        {sep + "a.bin", sep + "a.bin"},  // a separator at index 0 does not count
        {"dir" + sep, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FileNameFromPath(c.path.c_str()), c.name) << c.path;
    }
}

TEST_F(ComparisonTest, IdenticalAndEmptyFilesGiveTheHeaderOnly) {
    EXPECT_EQ(Body(Bytes{}, Bytes{}), "");
    EXPECT_EQ(Body(Bytes(5000, 0x5A), Bytes(5000, 0x5A)), "");
}

TEST_F(ComparisonTest, RunsAtTheEdgesOfTheFile) {
    struct Case {
        const char* name;
        Bytes first;
        Bytes second;
        std::string body;
    };
    const Case cases[] = {
        {"last position only", {1, 2, 3, 4}, {1, 2, 3, 5}, Record("3", 1, "04 ", "05 ")},
        {"first position only", {9, 2, 3}, {8, 2, 3}, Record("0", 1, "09 ", "08 ")},
        {"whole file", {1, 2}, {3, 4}, Record("0", 2, "01 02 ", "03 04 ")},
        {"two runs one equal byte apart",
         {0, 1, 2, 3, 4},
         {0, 9, 2, 9, 9},
         Record("1", 1, "01 ", "09 ") + Record("3", 2, "03 04 ", "09 09 ")},
        {"offsets in uppercase hex", Bytes(0xAC, 0),
         [] {
             Bytes b(0xAC, 0);
             b[0xAB] = 0xFF;
             return b;
         }(),
         Record("AB", 1, "00 ", "FF ")},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Body(c.first, c.second), c.body) << c.name;
    }
}

TEST_F(ComparisonTest, DifferentSizesCompareTheShorterLength) {
    Bytes first(100, 7);
    Bytes second(200, 7);
    second[150] = 1;  // beyond the compared part
    EXPECT_EQ(Body(first, second), Lines({"Different file size, comparing only minimum = 100"}));
    second[99] = 1;
    EXPECT_EQ(Body(second, first), Lines({"Different file size, comparing only minimum = 100"}) +
                                       Record("63", 1, "01 ", "07 "));
}

TEST_F(ComparisonTest, FileModeNeverCutsALongRun) {
    // Two hex lines of 3 characters per byte, far more than the report buffer holds.
    const size_t count = 250000;
    const Bytes first(count, 0x00);
    const Bytes second(count, 0xEE);
    std::string hexFirst;
    std::string hexSecond;
    for (size_t k = 0; k < count; ++k) {
        hexFirst += "00 ";
        hexSecond += "EE ";
    }
    EXPECT_EQ(Body(first, second), Record("0", static_cast<int>(count), hexFirst, hexSecond));
}

TEST_F(ComparisonTest, FailuresWriteNothingAndLeaveTheBoxAlone) {
    const std::string good = dir_.Write("good.bin", Bytes{1, 2});
    const std::string missing = dir_.File("missing.bin");
    const std::string folder = dir_.Path().string();
    struct Case {
        const char* name;
        std::string first;
        std::string second;
    };
    const Case cases[] = {
        {"empty first path", "", good},      {"empty second path", good, ""},
        {"missing first", missing, good},    {"missing second", good, missing},
        {"first is a folder", folder, good}, {"second is a folder", good, folder},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FileModeReport(c.first, c.second, dir_), "") << c.name;
        FakeResultBox box;
        box.text = "kept";
        PeImageInfo peImage;
        RunComparison(peImage, c.first.c_str(), c.second.c_str(), &box, nullptr);
        EXPECT_EQ(box.text, "kept") << c.name;
        EXPECT_EQ(box.replaceCount, 0) << c.name;
        EXPECT_EQ(box.scrollBarUpdates, 0) << c.name;
    }
    PeImageInfo peImage;
    RunComparison(peImage, nullptr, good.c_str(), nullptr, nullptr);  // must not crash
}

TEST_F(ComparisonTest, RunsDoNotSpanChunks) {
    // A run across the chunk edge becomes two records; offsets go on in the second chunk.
    Bytes first(kChunkSize + 64, 0x11);
    Bytes second = first;
    for (size_t k = kChunkSize - 3; k < kChunkSize + 2; ++k) {
        second[k] = 0x22;
    }
    second[kChunkSize + 5] = 0x33;
    second[kChunkSize + 63] = 0x44;
    EXPECT_EQ(Body(first, second), Record("FFFFFD", 3, "11 11 11 ", "22 22 22 ") +
                                       Record("1000000", 2, "11 11 ", "22 22 ") +
                                       Record("1000005", 1, "11 ", "33 ") +
                                       Record("100003F", 1, "11 ", "44 "));
}

TEST_F(ComparisonTest, RunsAcrossReadBoundariesInsideAChunkStayWhole) {
    // Files are read in 64 KiB pieces; runs must not notice where one piece ends.
    constexpr size_t kPiece = 65536;
    Bytes first(5 * kPiece + 100, 0x00);
    Bytes second = first;
    auto differ = [&](size_t begin, size_t end) {
        for (size_t k = begin; k < end; ++k) {
            second[k] = 0x01;
        }
    };
    differ(kPiece - 2, kPiece + 1);             // across the first boundary
    differ(2 * kPiece - 1, 2 * kPiece);         // ends right at a boundary
    differ(3 * kPiece, 3 * kPiece + 1);         // starts right at one
    differ(4 * kPiece - 1, 4 * kPiece + 1);     // both sides of one
    differ(5 * kPiece + 99, 5 * kPiece + 100);  // the last byte, in a short last piece
    const std::string body = Body(first, second);
    EXPECT_EQ(body, Record("FFFE", 3, "00 00 00 ", "01 01 01 ") + Record("1FFFF", 1, "00 ", "01 ") +
                        Record("30000", 1, "00 ", "01 ") + Record("3FFFF", 2, "00 00 ", "01 01 ") +
                        Record("50063", 1, "00 ", "01 "));

    // One run over several pieces.
    Bytes third(3 * kPiece, 0x00);
    Bytes fourth(3 * kPiece, 0x00);
    for (size_t k = 100; k < 2 * kPiece + 100; ++k) {
        fourth[k] = 0xFF;
    }
    const std::string whole = Body(third, fourth);
    EXPECT_NE(whole.find("File offset = 64" + std::string(test::kFileLineEnd)), std::string::npos);
    EXPECT_NE(whole.find("Bytes Size (dec) = 131072" + std::string(test::kFileLineEnd)),
              std::string::npos);
    EXPECT_EQ(whole.find("File offset = ", 20), std::string::npos);  // one record only
}

TEST_F(ComparisonTest, SizeLineCountsAllComparedPositions) {
    const std::string first = dir_.File("a.bin");
    const std::string second = dir_.File("b.bin");
    std::filesystem::resize_file(dir_.Write("a.bin", Bytes{}), 40u << 20);
    std::filesystem::resize_file(dir_.Write("b.bin", Bytes{}), 50u << 20);
    EXPECT_EQ(FileModeReport(first, second, dir_),
              Lines({"Comparing " + first, " and " + second, "Warning: not a PE file!",
                     "Different file size, comparing only minimum = 41943040"}));
}

class PeComparisonTest : public ComparisonTest {
  protected:
    // A patched copy of image: bytes at offset get value.
    std::string PatchedReport(const Bytes& image, std::initializer_list<size_t> offsets) {
        Bytes patched = image;
        for (size_t offset : offsets) {
            patched[offset] ^= 0xFF;
        }
        const std::string report = Report(image, patched);
        const std::string header =
            Lines({"Comparing " + dir_.File("a.bin"), " and " + dir_.File("b.bin")});
        EXPECT_EQ(report.substr(0, header.size()), header);
        return report.substr(header.size());
    }
};

std::string PeRecord(const std::string& offset, const std::string& rva, const std::string& va,
                     uint8_t byte) {
    const char hex[] = "0123456789ABCDEF";
    const std::string a = {hex[byte >> 4], hex[byte & 15], ' '};
    const uint8_t flipped = byte ^ 0xFF;
    const std::string b = {hex[flipped >> 4], hex[flipped & 15], ' '};
    return Lines({"", "File offset = " + offset, "RVA = " + rva, "VA = " + va,
                  "Bytes Size (dec) = 1", "First file bytes: ", a, "Second file bytes: ", b});
}

TEST_F(PeComparisonTest, Pe32OffsetsInSectionsGetRvaAndVa) {
    const Bytes image = PeBuilder()
                            .ImageBase(0x400000)
                            .Section(0x1000, 0x200, 0x400)
                            .Section(0x3000, 0x100, 0x600)
                            .Build();
    EXPECT_EQ(PatchedReport(image, {0x410, 0x6FF}),
              PeRecord("410", "1010", "401010", image[0x410]) +
                  PeRecord("6FF", "30FF", "4030FF", image[0x6FF]));
}

TEST_F(PeComparisonTest, HeadersAreReadEvenPastTheSecondFilesEnd) {
    const Bytes image = PeBuilder().Section(0x1000, 0x200, 0x400).Build();
    const Bytes stub(image.begin(), image.begin() + 0x40);  // ends before e_lfanew's target
    const std::string report = Report(image, stub);
    EXPECT_EQ(report.find("Warning"), std::string::npos);
    EXPECT_NE(report.find("comparing only minimum = 64"), std::string::npos);
}

TEST_F(PeComparisonTest, HeaderDifferencesHaveNoRvaLines) {
    const Bytes image = PeBuilder().Section(0x1000, 0x200, 0x400).Build();
    EXPECT_EQ(PatchedReport(image, {0x3FF}),
              Lines({"", "File offset = 3FF", "Bytes Size (dec) = 1", "First file bytes: ", "00 ",
                     "Second file bytes: ", "FF "}));
}

TEST_F(PeComparisonTest, Pe32VaWrapsAt32Bits) {
    const Bytes image = PeBuilder().ImageBase(0xFFFFF000).Section(0x2000, 0x100, 0x200).Build();
    EXPECT_EQ(PatchedReport(image, {0x210}), PeRecord("210", "2010", "1010", image[0x210]));
}

TEST_F(PeComparisonTest, Pe32PlusVaIsA64BitSum) {
    const Bytes image =
        PeBuilder().Pe32Plus().ImageBase(0x7FF612340000ULL).Section(0x1000, 0x200, 0x400).Build();
    EXPECT_EQ(PatchedReport(image, {0x410}), PeRecord("410", "1010", "7FF612341010", image[0x410]));
}

}  // namespace
}  // namespace tandrel
