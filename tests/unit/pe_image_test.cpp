#include "engine/pe_image.h"

#include <gtest/gtest.h>

#include "tests/support/pe_builder.h"

namespace tandrel {
namespace {

using test::Bytes;
using test::PeBuilder;

// The reader sees the file's bytes at the start of a zero-filled chunk, as after a first read.
bool Parse(PeImageInfo& info, const Bytes& file, size_t chunkSize = 4096, uint64_t fileSize = 0) {
    Bytes chunk(std::max(chunkSize, file.size()), 0);
    std::copy(file.begin(), file.end(), chunk.begin());
    return ParsePeHeader(info, chunk.data(), chunkSize, fileSize ? fileSize : file.size());
}

TEST(ParsePeHeader, DecidesWhatCountsAsAnImage) {
    const struct {
        const char* name;
        PeBuilder image;
        size_t chunk;
        uint64_t fileSize;
        bool isPe;
    } cases[] = {
        {"80 bytes, PE at 64", {.lfanew = 64, .fileSize = 80}, 4096, 0, true},
        {"79 bytes", {.lfanew = 64, .fileSize = 79}, 4096, 0, false},
        {"e_lfanew 0", {.lfanew = 0}, 4096, 0, false},
        {"e_lfanew negative", {.lfanew = 0x80000040, .fileSize = 80}, 4096, 0, false},
        {"e_lfanew one below the length", {.lfanew = 80}, 4096, 81, true},
        {"e_lfanew at the length", {.lfanew = 80}, 4096, 80, false},
        {"no MZ", {.mz = false}, 4096, 0, true},
        {"header fields end at the chunk", {.lfanew = 4000}, 4056, 0, true},
        {"header fields end past the chunk", {.lfanew = 4000}, 4055, 0, false},
        {"2 GiB less 1", {}, 4096, 0x7FFFFFFF, true},
        {"2 GiB", {}, 4096, 0x80000000, false},
        {"4 GiB and 400 bytes", {}, 4096, 0x100000190, false},
    };
    for (const auto& c : cases) {
        PeImageInfo info;
        EXPECT_EQ(Parse(info, c.image.Build(), c.chunk, c.fileSize), c.isPe) << c.name;
    }
}

TEST(ParsePeHeader, ReadsTheFieldsOfEitherKind) {
    PeImageInfo info;
    ASSERT_TRUE(
        Parse(info, PeBuilder().ImageBase(0x10000000).Section(0x1000, 0x200, 0x400).Build()));
    EXPECT_FALSE(info.is64);
    EXPECT_EQ(info.imageBase32, 0x10000000u);
    ASSERT_FALSE(Parse(info, PeBuilder{.lfanew = 64, .fileSize = 79}.Build()));
    EXPECT_EQ(info.sections.size(), 1u);  // a rejection leaves info as it was
    ASSERT_TRUE(Parse(info, PeBuilder{.magic = 0x20B, .imageBase = 0x140000000ULL}.Build()));
    EXPECT_TRUE(info.is64);
    EXPECT_EQ(info.imageBase64, 0x140000000ULL);
    EXPECT_TRUE(info.sections.empty());
    ASSERT_TRUE(Parse(info, PeBuilder{.magic = 0x30B, .imageBase = 0x1234}.Build()));
    EXPECT_FALSE(info.is64);  // only 0x20B is PE32+
    EXPECT_EQ(info.imageBase32, 0x1234u);
}

TEST(ParsePeHeader, TakesOnlySectionEntriesInsideTheChunk) {
    PeImageInfo info;
    // The table starts at 0x80 + 24 + 0xE0 = 0x178; only 4 of its 10 entries end in the chunk.
    ASSERT_TRUE(Parse(info, PeBuilder{.numberOfSections = 10}.Build(), 0x178 + 40 * 4 + 39));
    EXPECT_EQ(info.numberOfSections, 10);
    EXPECT_EQ(info.sections.size(), 4u);
    // A negative SizeOfOptionalHeader puts the table at -104: 3 entries start before the chunk.
    ASSERT_TRUE(
        Parse(info, PeBuilder{.sizeOfOptionalHeader = 0xFF00, .numberOfSections = 8}.Build()));
    EXPECT_EQ(info.sections.size(), 5u);
}

}  // namespace
}  // namespace tandrel
