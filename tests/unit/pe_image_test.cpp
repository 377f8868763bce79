#include "engine/pe_image.h"

#include <gtest/gtest.h>

#include <random>

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

Bytes Minimal(size_t size, uint32_t lfanew = 64, const char* letters = "PE") {
    Bytes bytes(size, 0);
    for (int k = 0; k < 4; ++k) {
        bytes[60 + k] = static_cast<uint8_t>(lfanew >> (8 * k));
    }
    bytes[64] = letters[0];
    bytes[65] = letters[1];
    return bytes;
}

TEST(ParsePeHeader, DecidesWhatCountsAsAnImage) {
    const struct {
        const char* name;
        Bytes file;
        size_t chunk;
        bool isPe;
    } cases[] = {
        {"80 bytes with PE at 64", Minimal(80), 4096, true},
        {"79 bytes", Minimal(79), 4096, false},
        {"wrong letters", Minimal(80, 64, "PX"), 4096, false},
        {"e_lfanew 0", Minimal(80, 0), 4096, false},
        {"e_lfanew negative", Minimal(80, 0x80000040), 4096, false},
        {"e_lfanew at the length", Minimal(80, 80), 4096, false},
        {"no MZ", PeBuilder().NoMz().Build(), 4096, true},
        {"header fields end at the chunk", PeBuilder().Lfanew(4000).Build(), 4056, true},
        {"header fields end past the chunk", PeBuilder().Lfanew(4000).Build(), 4055, false},
    };
    for (const auto& c : cases) {
        PeImageInfo info;
        EXPECT_EQ(Parse(info, c.file, c.chunk), c.isPe) << c.name;
    }
    Bytes chunk = PeBuilder().Build();
    chunk.resize(4096);
    PeImageInfo info;
    EXPECT_TRUE(ParsePeHeader(info, chunk.data(), chunk.size(), 0x7FFFFFFF));
    for (uint64_t size : {0x80000000ULL, 0x100000064ULL}) {  // 2 GiB and more: never an image
        EXPECT_FALSE(ParsePeHeader(info, chunk.data(), chunk.size(), size)) << size;
    }
}

TEST(ParsePeHeader, ReadsTheFieldsOfEitherKind) {
    PeImageInfo info;
    ASSERT_TRUE(
        Parse(info, PeBuilder().ImageBase(0x10000000).Section(0x1000, 0x200, 0x400).Build()));
    EXPECT_FALSE(info.is64);
    EXPECT_EQ(info.imageBase32, 0x10000000u);
    ASSERT_FALSE(Parse(info, Minimal(80, 64, "MZ")));  // a rejection leaves info as it was
    EXPECT_EQ(info.sections.size(), 1u);
    ASSERT_TRUE(Parse(info, PeBuilder().Pe32Plus().ImageBase(0x140000000ULL).Build()));
    EXPECT_TRUE(info.is64);
    EXPECT_EQ(info.imageBase64, 0x140000000ULL);
    EXPECT_TRUE(info.sections.empty());
    ASSERT_TRUE(Parse(info, PeBuilder().Magic(0x107).ImageBase(0x1234).Build()));  // only 0x20B
    EXPECT_FALSE(info.is64);
    EXPECT_EQ(info.imageBase32, 0x1234u);
}

TEST(ParsePeHeader, TakesOnlySectionEntriesInsideTheChunk) {
    PeBuilder builder;
    for (uint32_t k = 0; k < 10; ++k) {
        builder.Section(0x1000 * (k + 1), 0x10, 0x1000 + 0x10 * k);
    }
    const size_t tableStart = 0x80 + 24 + 0xE0;
    PeImageInfo info;
    ASSERT_TRUE(Parse(info, builder.Build(), tableStart + 40 * 4 + 39));
    EXPECT_EQ(info.numberOfSections, 10);
    EXPECT_EQ(info.sections.size(), 4u);
    // A negative SizeOfOptionalHeader puts the table at -104: the first 3 entries are left out.
    ASSERT_TRUE(Parse(info, PeBuilder().SizeOfOptionalHeader(0xFF00).NumberOfSections(8).Build()));
    EXPECT_EQ(info.sections.size(), 5u);
    // An 80-byte image reads its table from the chunk's zeros: sections that hold nothing.
    Bytes file = Minimal(80);
    file[70] = 3;
    ASSERT_TRUE(Parse(info, file));
    EXPECT_EQ(info.sections.size(), 3u);
    EXPECT_EQ(FileOffsetToRva(info, 0), 0u);
}

// The first section in table order whose raw data holds the offset, in 32-bit arithmetic.
uint32_t LinearRva(const PeImageInfo& info, uint32_t offset) {
    for (const SectionEntry& s : info.sections) {
        if (s.pointerToRawData <= offset && offset < s.pointerToRawData + s.sizeOfRawData) {
            return s.virtualAddress - s.pointerToRawData + offset;
        }
    }
    return 0;
}

TEST(FileOffsetToRva, FirstSectionInTableOrderWins) {
    PeImageInfo info;
    ASSERT_TRUE(Parse(info, PeBuilder()
                                .Section(0x1000, 0x200, 0x400)  // raw 0x400..0x5FF
                                .Section(0x2000, 0x0, 0x600)    // no raw data
                                .Section(0x3000, 0x200, 0x500)  // overlaps the first
                                .Section(0x5000, 0x100, 0x700)
                                .Section(0x10, 0x200, 0xFFFFFF00u)   // its end wraps: holds nothing
                                .Section(0xFFFFFFF0u, 0x100, 0x900)  // its RVA wraps
                                .FileSize(0xA00)
                                .Build()));
    const uint32_t cases[][2] = {{0x3FF, 0},      {0x400, 0x1000}, {0x5FF, 0x11FF},
                                 {0x600, 0x3100}, {0x6FF, 0x31FF}, {0x700, 0x5000},
                                 {0x7FF, 0x50FF}, {0x800, 0},      {0x930, 0x20},
                                 {0xA00, 0},      {0x50, 0},       {0xFFFFFF10u, 0}};
    for (const auto& c : cases) {
        EXPECT_EQ(FileOffsetToRva(info, c[0]), c[1]) << std::hex << c[0];
    }
    // Many overlapping sections in any order: the same answers as the walk through the table.
    std::mt19937 random(7);
    PeBuilder many;
    for (int k = 0; k < 300; ++k) {
        many.Section(random(), random() % 0x800, 0x1000 + random() % 0x4000);
    }
    ASSERT_TRUE(Parse(info, many.FileSize(0x6000).Build(), 0x6000));
    ASSERT_EQ(info.sections.size(), 300u);
    for (uint32_t offset = 0xF00; offset < 0x5900; ++offset) {
        ASSERT_EQ(FileOffsetToRva(info, offset), LinearRva(info, offset)) << std::hex << offset;
    }
}

}  // namespace
}  // namespace tandrel
