#include "engine/pe_layout.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/support/pe_builder.h"

namespace tandrel {
namespace {

using test::PeBuilder;
using Words = std::vector<std::pair<uint32_t, uint32_t>>;

std::string Text(const PeName& name) {
    return name ? std::string(name.View()) : "null";
}

// The layout as the engine reads it after ParsePeHeader, and the count of bytes read.
std::pair<PeLayout, size_t> ReadLayout(const test::Bytes& file, size_t budget = 16777216) {
    PeImageInfo info;
    size_t bytesRead = 0;
    EXPECT_TRUE(ParsePeHeader(info, {file.data(), file.size(), 16777216}, file.size()));
    auto read = [&](uint64_t at, void* out, size_t count) {
        bytesRead += count;
        return at + count <= file.size() && std::memcpy(out, file.data() + at, count);
    };
    PeLayout layout;
    layout.Read(info, file.size(), read, budget);
    return {layout, bytesRead};
}

#ifdef TANDREL_PE_IMAGES
// Offsets from `objdump -p -h` of the two images, which share their layout: e_lfanew 0x80, the
// optional header at 0x98, six sections from .text at 0x400; in .buildid at 0x800 the debug
// directory and at 0x81C its CodeView record; .edata at 0xA00; .rsrc at 0xE00 with tables at
// 0xE00, 0xE18, 0xE30.
TEST(PeLayout, NamesWhereOffsetsLandInRealImages) {
    const std::tuple<uint64_t, uint64_t, const char*, const char*> cases[] = {
        // The offsets in PE32 and PE32+, the section, the field.
        {0x40, 0x40, "null", "DosStub"},
        {0x8B, 0x8B, "null", "FileHeader.TimeDateStamp"},
        {0xD8, 0xDB, "null", "OptionalHeader.CheckSum"},
        {0x12C, 0x13C, "null", "OptionalHeader.DataDirectory[DEBUG].Size"},
        {0x1DC, 0x1EC, "null", "SectionHeader[2].PointerToRawData"},
        {0x400, 0x400, ".text", "null"},
        {0x807, 0x807, ".buildid", "DebugDirectory[0].TimeDateStamp"},
        {0x82F, 0x82F, ".buildid", "CodeView.Guid"},
        {0x830, 0x830, ".buildid", "CodeView.Age"},
        {0xA04, 0xA04, ".edata", "ExportDirectory.TimeDateStamp"},
        {0xE1C, 0xE1C, ".rsrc", "ResourceDirectory.TimeDateStamp"},
    };
    for (const char* name : {"/pe32.exe", "/pe32plus.exe"}) {
        const std::string text = test::ReadFileText(TANDREL_PE_IMAGES + std::string(name));
        const PeLayout layout = ReadLayout({text.begin(), text.end()}).first;
        for (const auto& [pe32, pe32plus, section, field] : cases) {
            const uint64_t at = name[5] == 'p' ? pe32plus : pe32;
            EXPECT_EQ(Text(layout.FieldAt(at)), field) << name << " " << at;
            EXPECT_EQ(Text(layout.SectionAt(at)), section) << name << " " << at;
        }
        std::string noise;  // each range's field and size
        for (const PeRange& range : layout.NoiseRanges()) {
            noise += std::string(layout.Name(range.name)) + std::to_string(range.end - range.begin);
        }
        EXPECT_EQ(noise,
                  "FileHeader.TimeDateStamp4OptionalHeader.CheckSum4OptionalHeader.DataDirectory"
                  "[SECURITY].VirtualAddress4OptionalHeader.DataDirectory[SECURITY].Size4"
                  "DebugDirectory[0].TimeDateStamp4CodeView.Guid16CodeView.Age4"
                  "ExportDirectory.TimeDateStamp4ResourceDirectory.TimeDateStamp4"
                  "ResourceDirectory.TimeDateStamp4ResourceDirectory.TimeDateStamp4")
            << name;
    }
}
#endif

// PE32 images of 0x800 bytes: section "A" maps RVA 0x1000 to its raw data at 0x400, the table
// ends at 0x1A0, NumberOfRvaAndSizes 256 reads as 16 directory entries (at 0xF8 + 8 * index), and
// words adds directory entries and bytes.
PeBuilder Image(Words words, std::vector<uint32_t> more = {}) {
    words.insert(words.begin(), {{0xF4, 256}, {0x178, 'A'}});
    more.insert(more.begin(), {0x1000, 0x400, 0x400});
    return {.fileSize = 0x800, .sections = more, .words = words};
}
// Resource tables at 0x400, with entries to itself and to 0x420, and at 0x420, back to 0x400.
Words Loop(uint32_t size) {
    return {{0x108, 0x1000},     {0x10C, size},    {0x40C, 2 << 16},   {0x414, 0x80000000},
            {0x41C, 0x80000020}, {0x42C, 1 << 16}, {0x434, 0x80000000}};
}
// A debug directory at 0x400 of one entry, for a CodeView record at 0x500 that starts "NB10".
const Words kNb10 = {{0x128, 0x1000}, {0x12C, 28},    {0x40C, 2},
                     {0x410, 32},     {0x418, 0x500}, {0x500, 0x3031424E}};
// Entry 0 of the table starts before the file; entry 1 is the DOS header, "MZ".
const PeBuilder kTableBefore = {
    .lfanew = 64, .sizeOfOptionalHeader = 0xFF80, .sections = {0, 0, 0, 0x1000, 0x200, 0x200}};

// Hostile directories are left unnamed, and every read stays inside the file and the budget.
TEST(PeLayout, TrustsNoHostileDirectory) {
    const std::tuple<PeBuilder, uint64_t, const char*, const char*, size_t, size_t> cases[] = {
        // The image, an offset, its section and field, the noise ranges (4: the time stamp, the
        // checksum, the SECURITY entry's two fields), the budget. The export directory past the
        // file (where both sections hold 0x7F8 and the first in table order names it), past its
        // section, over the headers.
        {Image({{0xF8, 0x1404}}, {0x1400, 0x800, 0x7F0}), 0x7F8, "A", "null", 4, 16777216},
        {Image({{0xF8, 0x20F0}}, {0x2000, 0x100, 0x200}), 0x2F4, "", "null", 4, 16777216},
        {Image({{0xF8, 0x2080}}, {0x2000, 0x100, 0}), 0x84, "", "FileHeader.Machine", 4, 16777216},
        // Resource tables that loop; a resource directory too large for its section.
        {Image(Loop(0x100)), 0x424, "A", "ResourceDirectory.TimeDateStamp", 6, 16777216},
        {Image(Loop(0xFFFFFFF0)), 0x404, "A", "null", 4, 16777216},
        // A debug directory whose CodeView record is NB10.
        {Image(kNb10), 0x508, "A", "CodeView.TimeDateStamp", 7, 16777216},
        // Certificates at the file's end, over the end of the section table.
        {Image({{0x118, 0x600}, {0x11C, 0x200}}), 0x7FF, "A", "CertificateTable", 5, 16777216},
        {Image({{0x118, 0x190}, {0x11C, 32}}), 0x1A0, "null", "null", 4, 16777216},
        // The section table starting before the file.
        {kTableBefore, 0x200, "MZ", "null", 2, 16777216},
        // A budget too small for the headers names nothing.
        {Image(Loop(0x100)), 0x84, "null", "null", 0, 100},
    };
    for (const auto& [image, at, section, field, noise, budget] : cases) {
        const auto [layout, bytesRead] = ReadLayout(image.Build(), budget);
        EXPECT_EQ(Text(layout.FieldAt(at)), field) << at;
        EXPECT_EQ(Text(layout.SectionAt(at)), section) << at;
        EXPECT_EQ(layout.NoiseRanges().size(), noise) << at;
        EXPECT_LE(bytesRead, std::min<size_t>(budget, 1024)) << at;
    }
}

}  // namespace
}  // namespace tandrel
