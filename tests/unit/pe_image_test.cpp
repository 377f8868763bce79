#include "engine/pe_image.h"

#include <gtest/gtest.h>

#include "tests/support/pe_builder.h"

namespace tandrel {
namespace {

using test::Bytes;
using test::PeBuilder;

// The reader sees the file's bytes in its first chunk, zeros after them.
bool Parse(PeImageInfo& info, const Bytes& file, size_t chunkSize = 4096, uint64_t fileSize = 0) {
    const FirstChunk chunk = {file.data(), std::min(file.size(), chunkSize), chunkSize};
    return ParsePeHeader(info, chunk, fileSize ? fileSize : file.size());
}

// What counts as an image, its kind and image base, and the section entries read: only those
// that lie wholly inside the chunk.
TEST(ParsePeHeader, DecidesWhatCountsAsAnImage) {
    const struct {
        const char* name;
        PeBuilder image;
        size_t chunk;
        uint64_t fileSize;
        int kind;  // 0: not an image, 32: PE32, 64: PE32+
        size_t sections;
    } cases[] = {
        {"80 bytes, PE at 64", {.lfanew = 64, .fileSize = 80}, 4096, 0, 32, 0},
        {"79 bytes", {.lfanew = 64, .fileSize = 79}, 4096, 0, 0, 0},
        {"e_lfanew 0", {.lfanew = 0}, 4096, 0, 0, 0},
        {"e_lfanew negative", {.lfanew = 0x80000040, .fileSize = 80}, 4096, 0, 0, 0},
        {"e_lfanew one below the length", {.lfanew = 80}, 4096, 81, 32, 0},
        {"e_lfanew at the length", {.lfanew = 80}, 4096, 80, 0, 0},
        {"no MZ", {.mz = false}, 4096, 0, 32, 0},
        {"header fields end at the chunk", {.lfanew = 4000}, 4056, 0, 32, 0},
        {"header fields end past the chunk", {.lfanew = 4000}, 4055, 0, 0, 0},
        {"2 GiB less 1", {}, 4096, 0x7FFFFFFF, 32, 0},
        {"2 GiB", {}, 4096, 0x80000000, 0, 0},
        {"4 GiB and 400 bytes", {}, 4096, 0x100000190, 0, 0},
        {"PE32+", {.magic = 0x20B, .imageBase = 0x140000000}, 4096, 0, 64, 0},
        {"only 0x20B is PE32+", {.magic = 0x30B, .imageBase = 0x140000000}, 4096, 0, 32, 0},
        // The table starts at 0x80 + 24 + 0xE0 = 0x178: 4 of its 10 entries end in the chunk.
        {"10 entries", {.numberOfSections = 10}, 0x178 + 40 * 4 + 39, 0, 32, 4},
        // A negative SizeOfOptionalHeader puts it at -104: 3 of 8 start before the chunk.
        {"table before", {.sizeOfOptionalHeader = 0xFF00, .numberOfSections = 8}, 4096, 0, 32, 5},
    };
    for (const auto& c : cases) {
        PeImageInfo info;
        const bool isPe = Parse(info, c.image.Build(), c.chunk, c.fileSize);
        EXPECT_EQ(isPe ? (info.is64 ? 64 : 32) : 0, c.kind) << c.name;
        EXPECT_EQ(info.sections.size(), c.sections) << c.name;
        // A file cut short before its image base reads it as zeros.
        const uint64_t base = c.kind == 64 ? c.image.imageBase : uint32_t(c.image.imageBase);
        if (isPe) {
            EXPECT_EQ(info.is64 ? info.imageBase64 : info.imageBase32, c.image.fileSize ? 0 : base)
                << c.name;
        }
    }
}

// Which section holds an offset or an RVA: the first in table order, a raw end that wraps at
// 32 bits holds nothing, a virtual end past 4 GiB does not wrap.
TEST(SectionMap, FindsTheFirstSectionInTableOrder) {
    const std::vector<SectionEntry> sections = {
        {0x1000, 0x200, 0x400},       // raw data [0x400, 0x600)
        {0x2000, 0x400, 0x500},       // its raw data overlaps the first's
        {0x1100, 0x100, 0xFFFFFF80},  // raw end wraps; virtual range inside the first's
        {0x3000, 0, 0x900},           // no raw data
        {0xFFFFFF00, 0x200, 0xA00},   // virtual end past 4 GiB
    };
    const SectionMap map(sections);
    const struct {
        uint64_t at;
        int byOffset;  // -1: none
        int byRva;
    } cases[] = {
        {0x3FF, -1, -1},     {0x400, 0, -1},       {0x5FF, 0, -1},        {0x600, 1, -1},
        {0x8FF, 1, -1},      {0x900, -1, -1},      {0xBFF, 4, -1},        {0x10, -1, -1},
        {0xFFFFFF90, -1, 4}, {0xFFF, -1, -1},      {0x1000, -1, 0},       {0x1150, -1, 0},
        {0x1200, -1, -1},    {0x2000, -1, 1},      {0x23FF, -1, 1},       {0x2400, -1, -1},
        {0x3000, -1, -1},    {0x1000000FF, -1, 4}, {0x100000100, -1, -1}, {0x100000A00, -1, -1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(static_cast<int>(map.AtOffset(c.at).value_or(-1)), c.byOffset)
            << std::hex << c.at;
        EXPECT_EQ(static_cast<int>(map.AtRva(c.at).value_or(-1)), c.byRva) << std::hex << c.at;
    }
}

}  // namespace
}  // namespace tandrel
