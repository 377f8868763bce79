#include "engine/pe_image.h"

#include <gtest/gtest.h>

#include "tests/support/pe_builder.h"

namespace tandrel {
namespace {

using test::Bytes;
using test::PeBuilder;

// The reader sees the file's bytes at the start of a zero-filled chunk, as after a first read.
bool Parse(PeImageInfo& info, const Bytes& file, size_t chunkSize = 4096) {
    Bytes chunk(std::max(chunkSize, file.size()), 0);
    std::copy(file.begin(), file.end(), chunk.begin());
    return ParsePeHeader(info, chunk.data(), chunkSize, file.size());
}

struct AcceptCase {
    const char* name;
    Bytes file;
    bool isPe;
};

Bytes Minimal80(uint8_t p = 'P', uint8_t e = 'E') {
    Bytes bytes(80, 0);
    bytes[60] = 64;
    bytes[64] = p;
    bytes[65] = e;
    return bytes;
}

Bytes WithLfanew(Bytes bytes, uint32_t lfanew) {
    for (int k = 0; k < 4; ++k) {
        bytes[60 + k] = static_cast<uint8_t>(lfanew >> (8 * k));
    }
    return bytes;
}

TEST(ParsePeHeader, DecidesWhatCountsAsAnImage) {
    Bytes short79 = Minimal80();
    short79.resize(79);
    const AcceptCase cases[] = {
        {"80 bytes with PE at 64", Minimal80(), true},
        {"79 bytes", short79, false},
        {"wrong second letter", Minimal80('P', 'X'), false},
        {"wrong first letter", Minimal80('Q', 'E'), false},
        {"e_lfanew 0", WithLfanew(Minimal80(), 0), false},
        {"e_lfanew negative", WithLfanew(Minimal80(), 0x80000040), false},
        {"e_lfanew equal to the length", WithLfanew(Minimal80(), 80), false},
        {"e_lfanew one below the length", WithLfanew(Minimal80(), 79), false},  // no "PE" there
        {"no MZ but PE where e_lfanew points", PeBuilder().NoMz().Build(), true},
        {"built PE32", PeBuilder().Build(), true},
        {"built PE32+", PeBuilder().Pe32Plus().Build(), true},
    };
    for (const AcceptCase& c : cases) {
        PeImageInfo info;
        EXPECT_EQ(Parse(info, c.file), c.isPe) << c.name;
    }
}

TEST(ParsePeHeader, EightyByteImageReadsZerosPastItsEnd) {
    Bytes file = Minimal80();
    file[64 + 6] = 3;  // NumberOfSections; the table itself lies past the file's end
    PeImageInfo info;
    info.imageBase32 = 0xDEAD;
    ASSERT_TRUE(Parse(info, file));
    EXPECT_FALSE(info.is64);
    EXPECT_EQ(info.imageBase32, 0u);
    EXPECT_EQ(info.numberOfSections, 3);
    ASSERT_EQ(info.sections.size(), 3u);
    for (uint32_t offset : {0u, 1u, 64u, 79u}) {
        EXPECT_EQ(FileOffsetToRva(info, offset), 0u) << offset;
    }
}

TEST(ParsePeHeader, ReadsBothImageKindsAndKeepsTheOtherBase) {
    PeImageInfo info;
    ASSERT_TRUE(
        Parse(info, PeBuilder().ImageBase(0x10000000).Section(0x1000, 0x200, 0x400).Build()));
    EXPECT_FALSE(info.is64);
    EXPECT_EQ(info.imageBase32, 0x10000000u);

    ASSERT_TRUE(Parse(info, PeBuilder().Pe32Plus().ImageBase(0x140000000ULL).Build()));
    EXPECT_TRUE(info.is64);
    EXPECT_EQ(info.imageBase64, 0x140000000ULL);
    EXPECT_EQ(info.imageBase32, 0x10000000u);  // untouched by a PE32+ image
    EXPECT_TRUE(info.sections.empty());        // the earlier list is replaced

    // Any magic but 0x20B is PE32.
    ASSERT_TRUE(Parse(info, PeBuilder().Magic(0x107).ImageBase(0x1234).Build()));
    EXPECT_FALSE(info.is64);
    EXPECT_EQ(info.imageBase32, 0x1234u);
}

TEST(ParsePeHeader, RejectionLeavesInfoAsItWas) {
    PeImageInfo info;
    ASSERT_TRUE(Parse(info, PeBuilder().ImageBase(0x400000).Section(0x1000, 0x200, 0x400).Build()));
    ASSERT_FALSE(Parse(info, Minimal80('M', 'Z')));
    EXPECT_EQ(info.imageBase32, 0x400000u);
    EXPECT_EQ(info.sections.size(), 1u);
}

TEST(ParsePeHeader, TwoGigabytesOrMoreIsNeverAnImage) {
    const Bytes file = PeBuilder().Build();
    Bytes chunk(4096, 0);
    std::copy(file.begin(), file.end(), chunk.begin());
    PeImageInfo info;
    EXPECT_TRUE(ParsePeHeader(info, chunk.data(), chunk.size(), 0x7FFFFFFF));
    EXPECT_FALSE(ParsePeHeader(info, chunk.data(), chunk.size(), 0x80000000));
    EXPECT_FALSE(ParsePeHeader(info, chunk.data(), chunk.size(), 0xFFFFFFFF));
    // The whole 64-bit size counts: 4 GiB + 100 is not a 100-byte file.
    EXPECT_FALSE(ParsePeHeader(info, chunk.data(), chunk.size(), 0x100000064ULL));
}

TEST(ParsePeHeader, NeverReadsOutsideTheChunk) {
    PeImageInfo info;
    // Header fields that would end past the chunk: no image, even though the file is longer.
    const Bytes farHeader = PeBuilder().Lfanew(4000).Build();
    EXPECT_FALSE(Parse(info, farHeader, 4000 + 55));
    EXPECT_TRUE(Parse(info, farHeader, 4000 + 56));

    // A section table running past the chunk keeps only the entries wholly inside it.
    PeBuilder builder;
    for (uint32_t k = 0; k < 10; ++k) {
        builder.Section(0x1000 * (k + 1), 0x10, 0x1000 + 0x10 * k);
    }
    const Bytes table = builder.Build();
    const size_t tableStart = 0x80 + 24 + 0xE0;
    ASSERT_TRUE(Parse(info, table, tableStart + 40 * 4 + 39));
    EXPECT_EQ(info.numberOfSections, 10);
    EXPECT_EQ(info.sections.size(), 4u);

    // NumberOfSections 65535 in a small chunk: only what fits.
    ASSERT_TRUE(Parse(info, PeBuilder().NumberOfSections(0xFFFF).Build(), 1024));
    EXPECT_EQ(info.sections.size(), (1024 - tableStart) / 40);

    // A negative SizeOfOptionalHeader moves the table before the chunk's start: those entries
    // are not taken, the ones that come back inside it are.
    ASSERT_TRUE(Parse(info, PeBuilder().SizeOfOptionalHeader(0xFF00).NumberOfSections(8).Build()));
    const int64_t start = 0x80 + 24 - 256;  // -104
    EXPECT_EQ(info.sections.size(), 8u - 3u) << "entries starting at " << start;
}

TEST(FileOffsetToRva, MapsThroughTheFirstMatchingSection) {
    PeImageInfo info;
    ASSERT_TRUE(Parse(info, PeBuilder()
                                .Section(0x1000, 0x200, 0x400)  // raw 0x400..0x5FF
                                .Section(0x2000, 0x0, 0x600)    // no raw data: never matches
                                .Section(0x3000, 0x200, 0x500)  // overlaps the first
                                .Section(0x5000, 0x100, 0x700)
                                .Build()));
    struct Case {
        uint32_t offset;
        uint32_t rva;
    };
    const Case cases[] = {
        {0x000, 0},      {0x3FF, 0},  // headers
        {0x400, 0x1000}, {0x410, 0x1010},
        {0x5FF, 0x11FF}, {0x600, 0x3100},  // past the first section's end, still in the third
        {0x6FF, 0x31FF}, {0x700, 0x5000},
        {0x7FF, 0x50FF}, {0x800, 0},  // one past the last section's end
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FileOffsetToRva(info, c.offset), c.rva) << std::hex << c.offset;
    }
}

TEST(FileOffsetToRva, SectionArithmeticWrapsAt32Bits) {
    PeImageInfo info;
    info.numberOfSections = 1;
    // pointerToRawData + sizeOfRawData wraps to 0x100: the section holds nothing above it.
    info.sections = {{0x10, 0x200, 0xFFFFFF00u}};
    EXPECT_EQ(FileOffsetToRva(info, 0x50), 0u);
    info.sections = {{0xFFFFFFF0u, 0x100, 0x10}};
    EXPECT_EQ(FileOffsetToRva(info, 0x30), 0x10u);  // 0xFFFFFFF0 - 0x10 + 0x30 wraps
    info.sections.clear();
    EXPECT_EQ(FileOffsetToRva(info, 0x30), 0u);
}

}  // namespace
}  // namespace tandrel
