#include "engine/pe_layout.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

#include "tests/support/pe_builder.h"

namespace tandrel {
namespace {

using test::Bytes;
using test::PeBuilder;

std::string Text(const PeName& name) {
    return name ? std::string(name.View()) : "null";
}

// The layout as the engine reads it after ParsePeHeader; every read must lie inside the file.
struct LayoutOf {
    LayoutOf(const Bytes& file, size_t budget = 16777216) {
        EXPECT_TRUE(ParsePeHeader(info, {file.data(), file.size(), 16777216}, file.size()));
        layout.Read(
            info, file.size(),
            [&](uint64_t at, void* out, size_t count) {
                EXPECT_TRUE(at <= file.size() && count <= file.size() - at) << at << " " << count;
                bytesRead += count;
                std::memcpy(out, file.data() + at, count);
                return true;
            },
            budget);
    }
    PeImageInfo info;
    PeLayout layout;
    size_t bytesRead = 0;
};

#ifdef TANDREL_PE_IMAGES
// Offsets from `objdump -p -h` of the two images, which share their layout: e_lfanew 0x80, the
// optional header at 0x98, six sections from .text at 0x400; in .buildid at 0x800 the debug
// directory and at 0x81C its CodeView record (0x19 bytes); .edata at 0xA00; .rsrc at 0xE00 with
// tables at 0xE00, 0xE18, 0xE30 (one entry each); 0x1000 bytes in all.
TEST(PeLayout, NamesWhereOffsetsLandInRealImages) {
    const struct {
        uint64_t at[2];  // PE32, PE32+
        const char* section;
        const char* field;
        const char* plusField = nullptr;  // when PE32+ names it otherwise
    } cases[] = {
        {{0x3C, 0x3C}, "null", "DosHeader.e_lfanew"},
        {{0x40, 0x40}, "null", "DosStub"},
        {{0x83, 0x83}, "null", "Signature"},
        {{0x8B, 0x8B}, "null", "FileHeader.TimeDateStamp"},
        {{0xB0, 0xB0}, "null", "OptionalHeader.BaseOfData", "OptionalHeader.ImageBase"},
        {{0xD8, 0xDB}, "null", "OptionalHeader.CheckSum"},
        {{0xF0, 0xF0}, "null", "OptionalHeader.LoaderFlags", "OptionalHeader.SizeOfHeapReserve"},
        {{0xF4, 0x104}, "null", "OptionalHeader.NumberOfRvaAndSizes"},
        {{0x12C, 0x13C}, "null", "OptionalHeader.DataDirectory[DEBUG].Size"},
        {{0x174, 0x184}, "null", "OptionalHeader.DataDirectory[RESERVED].Size"},
        {{0x1DC, 0x1EC}, "null", "SectionHeader[2].PointerToRawData"},
        {{0x267, 0x277}, "null", "SectionHeader[5].Characteristics"},
        {{0x268, 0x278}, "null", "null"},
        {{0x400, 0x400}, ".text", "null"},
        {{0x807, 0x807}, ".buildid", "DebugDirectory[0].TimeDateStamp"},
        {{0x81C, 0x81C}, ".buildid", "CodeView.Signature"},
        {{0x82F, 0x82F}, ".buildid", "CodeView.Guid"},
        {{0x830, 0x830}, ".buildid", "CodeView.Age"},
        {{0x834, 0x834}, ".buildid", "CodeView.PdbFileName"},
        {{0x835, 0x835}, ".buildid", "null"},
        {{0xA04, 0xA04}, ".edata", "ExportDirectory.TimeDateStamp"},
        {{0xA27, 0xA27}, ".edata", "ExportDirectory.AddressOfNameOrdinals"},
        {{0xE1C, 0xE1C}, ".rsrc", "ResourceDirectory.TimeDateStamp"},
        {{0xE47, 0xE47}, ".rsrc", "ResourceDirectory"},
        {{0xE48, 0xE48}, ".rsrc", "null"},
        {{0x1000, 0x1000}, "null", "null"},
    };
    const char* security[] = {
        "118+4 OptionalHeader.DataDirectory[SECURITY].VirtualAddress\n"
        "11C+4 OptionalHeader.DataDirectory[SECURITY].Size\n",
        "128+4 OptionalHeader.DataDirectory[SECURITY].VirtualAddress\n"
        "12C+4 OptionalHeader.DataDirectory[SECURITY].Size\n"};
    for (int kind : {0, 1}) {
        const std::string path =
            TANDREL_PE_IMAGES + std::string(kind ? "/pe32plus.exe" : "/pe32.exe");
        const std::string bytes = test::ReadFileText(path);
        const LayoutOf image(Bytes(bytes.begin(), bytes.end()));
        for (const auto& c : cases) {
            const char* field = kind && c.plusField ? c.plusField : c.field;
            EXPECT_EQ(Text(image.layout.FieldAt(c.at[kind])), field) << path << " " << c.at[kind];
            EXPECT_EQ(Text(image.layout.SectionAt(c.at[kind])), c.section) << path << c.at[kind];
        }
        std::ostringstream noise;
        for (const PeRange& range : image.layout.NoiseRanges()) {
            noise << std::hex << std::uppercase << range.begin << "+" << std::dec
                  << range.end - range.begin << " " << image.layout.Name(range.name) << "\n";
        }
        EXPECT_EQ(noise.str(), "88+4 FileHeader.TimeDateStamp\nD8+4 OptionalHeader.CheckSum\n" +
                                   std::string(security[kind]) +
                                   "804+4 DebugDirectory[0].TimeDateStamp\n820+16 CodeView.Guid\n"
                                   "830+4 CodeView.Age\nA04+4 ExportDirectory.TimeDateStamp\n"
                                   "E04+4 ResourceDirectory.TimeDateStamp\n"
                                   "E1C+4 ResourceDirectory.TimeDateStamp\n"
                                   "E34+4 ResourceDirectory.TimeDateStamp\n")
            << path;
    }
}
#endif

// PE32 images of 0x800 bytes: section "A" maps RVA 0x1000 to its raw data at 0x400, all 16 data
// directory entries (at 0xF8 + 8 * index) are read, and words adds directory entries and bytes.
PeBuilder Image(std::vector<std::pair<uint32_t, uint32_t>> words, std::vector<uint32_t> more = {}) {
    words.insert(words.begin(), {{0xF4, 16}, {0x178, 'A'}});
    more.insert(more.begin(), {0x1000, 0x400, 0x400});
    return {.fileSize = 0x800, .sections = more, .words = words};
}

// Root table at 0x400 with two entries, to itself and to a table at 0x420 that leads back.
const std::vector<std::pair<uint32_t, uint32_t>> kLoop = {{0x40C, 2 << 16},
                                                          {0x414, 0x80000000},
                                                          {0x41C, 0x80000020},
                                                          {0x42C, 1 << 16},
                                                          {0x434, 0x80000000}};

// Hostile directories are left unnamed, and every read stays inside the file and the budget.
TEST(PeLayout, TrustsNoHostileDirectory) {
    const struct {
        const char* name;
        PeBuilder image;
        uint64_t at;
        const char* field;
        const char* section;
        size_t noise;  // 4: the time stamp, the checksum, the SECURITY entry's two fields
        size_t budget = 16777216;
    } cases[] = {
        {"export", Image({{0xF8, 0x1100}}), 0x504, "ExportDirectory.TimeDateStamp", "A", 5},
        {"export past the file", Image({{0xF8, 0x1404}}, {0x1400, 0x800, 0x7F0}), 0x7F8, "null",
         "A", 4},
        {"export over the headers",
         Image({{0xF8, 0x2080}, {0x1A0, 'H'}, {0x1A4, 0}}, {0x2000, 0x400, 0}), 0x84,
         "FileHeader.Machine", "H", 4},
        {"resource loop", Image({{0x108, 0x1000}, {0x10C, 0x100}}), 0x424,
         "ResourceDirectory.TimeDateStamp", "A", 6},
        {"resource huge", Image({{0x108, 0x1000}, {0x10C, 0xFFFFFFF0}}), 0x404, "null", "A", 4},
        {"debug huge", Image({{0x128, 0x1000}, {0x12C, 0xFFFFFFFC}}), 0x404, "null", "A", 4},
        {"NB10",
         Image({{0x128, 0x1000},
                {0x12C, 28},
                {0x40C, 2},
                {0x410, 32},
                {0x418, 0x500},
                {0x500, 0x3031424E}}),
         0x508, "CodeView.TimeDateStamp", "A", 7},
        {"certificates", Image({{0x118, 0x600}, {0x11C, 0x200}}), 0x7FF, "CertificateTable", "A",
         5},
        {"certificates past the file", Image({{0x118, 0x600}, {0x11C, 0x201}}), 0x600, "null", "A",
         4},
        {"certificates over the headers", Image({{0x118, 0x80}, {0x11C, 8}}), 0x80, "Signature",
         "null", 4},
        {"first section in table order", Image({{0x1A0, 'B'}}, {0x2000, 0x600, 0x200}), 0x400,
         "null", "A", 4},
        {"under the first", Image({{0x1A0, 'B'}}, {0x2000, 0x600, 0x200}), 0x3FF, "null", "B", 4},
        // Entry 0 of the table starts before the file; entry 1 is the DOS header, "MZ".
        {"table before the file",
         {.lfanew = 64,
          .sizeOfOptionalHeader = 0xFF80,
          .sections = {0, 0, 0, 0x1000, 0x200, 0x200}},
         0x200,
         "null",
         "MZ",
         2},
        {"budget too small for the headers", Image(kLoop), 0x84, "null", "null", 0, 100},
    };
    for (const auto& c : cases) {
        auto image = c.image;
        if (std::string(c.name).starts_with("resource")) {
            image.words.insert(image.words.end(), kLoop.begin(), kLoop.end());
        }
        const LayoutOf read(image.Build(), c.budget);
        EXPECT_EQ(Text(read.layout.FieldAt(c.at)), c.field) << c.name;
        EXPECT_EQ(Text(read.layout.SectionAt(c.at)), c.section) << c.name;
        EXPECT_EQ(read.layout.NoiseRanges().size(), c.noise) << c.name;
        EXPECT_LE(read.bytesRead, std::min<size_t>(c.budget, 1024)) << c.name;
    }
}

}  // namespace
}  // namespace tandrel
