// The patch exports: IPS against bytes assembled here by hand, and dif and 1337 round trips
// through the patch reader.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#ifdef _WIN32
#include <windows.h>
#endif

#include "engine/comparison.h"
#include "formats/opening_sink.h"
#include "formats/patch_apply.h"
#include "formats/patch_sinks.h"
#include "tests/support/pe_builder.h"
#include "tests/support/temp_dir.h"

namespace tandrel {
namespace {

using test::Bytes;

// A file of size zeros with the given bytes set, sparse where it can be.
std::string Zeros(const test::TempDir& dir, const std::string& name, uint64_t size,
                  const std::vector<std::pair<uint64_t, uint8_t>>& bytes = {}) {
    const std::string path = dir.Write(name, "");
    std::filesystem::resize_file(path, size);
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    for (const auto& [at, value] : bytes) {
        file.seekp(static_cast<std::streamoff>(at)).put(static_cast<char>(value));
    }
    return path;
}

std::string Ips(std::initializer_list<std::string> parts) {
    std::string bytes = "PATCH";
    for (const std::string& part : parts) {
        bytes += part;
    }
    return bytes;
}

TEST(PatchExport, IpsRecordsAsAssembledByHand) {
    test::TempDir dir;
    const std::string a = Zeros(dir, "a", 16);
    const std::string run70000(70000, '\x07');
    const struct {
        std::string first, second;
        bool done;
        std::string ips;  // empty: no file
    } cases[] = {
        {a, Zeros(dir, "b1", 16, {{2, 0xAA}, {3, 0xBB}, {9, 1}}), true,
         Ips({std::string("\0\0\2\0\2\xAA\xBB", 7), std::string("\0\0\x09\0\1\1", 6), "EOF"})},
        // Longer: the tail joins the difference before it. Shorter: the size it is cut to.
        {a, Zeros(dir, "b2", 19, {{15, 5}, {18, 6}}), true,
         Ips({std::string("\0\0\x0F\0\4\5\0\0\6", 9), "EOF"})},
        {a, Zeros(dir, "b3", 12, {{0, 9}}), true,
         Ips({std::string("\0\0\0\0\1\x09", 6), std::string("EOF\0\0\x0C", 6)})},
        // A record at 0x454F46 would read as "EOF": it starts a byte earlier.
        {Zeros(dir, "e1", 0x454F50, {{0x454F45, 0x33}}),
         Zeros(dir, "e2", 0x454F50, {{0x454F45, 0x33}, {0x454F46, 0x44}}), true,
         Ips({std::string("\x45\x4F\x45\0\2\x33\x44", 7), "EOF"})},
        // A run longer than 65,535 bytes takes two records.
        {Zeros(dir, "l1", 70000), dir.Write("l2", run70000), true,
         Ips({std::string("\0\0\0\xFF\xFF", 5) + run70000.substr(0, 65535),
              std::string("\0\xFF\xFF\x11\x71", 5) + run70000.substr(65535), "EOF"})},
        // At 16 MiB IPS cannot reach: nothing is written.
        {Zeros(dir, "f1", 0x1000001), Zeros(dir, "f2", 0x1000001, {{0xFFFFFF, 1}}), true,
         Ips({std::string("\xFF\xFF\xFF\0\1\1", 6), "EOF"})},
        {Zeros(dir, "g1", 0x1000001), Zeros(dir, "g2", 0x1000001, {{0x1000000, 1}}), false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.second);
        const std::string patch = dir.File("out.ips");
        std::filesystem::remove(patch);
        ReportOutput output = ReportOutput::ToNewFile(patch, true);
        IpsPatchSink sink(output);
        EXPECT_EQ(CompareInto(c.first.c_str(), c.second.c_str(), {}, sink, output).done, c.done);
        EXPECT_EQ(test::ReadFileText(patch), c.ips);
        EXPECT_EQ(std::filesystem::exists(patch), c.done);
    }
}

// Exported, applied to a copy of the first file, then reverted: the copy becomes the second file
// over their common length, then the first again. A random pair, runs at the 16 MiB chunk edge,
// unequal sizes, and a real image with a patched section (1337 lists RVAs).
TEST(PatchExport, DifAnd1337RoundTrips) {
    test::TempDir dir;
    std::mt19937 random(11);
    Bytes noisy(6000), noisier(6000);
    for (size_t k = 0; k < noisy.size(); ++k) {
        noisy[k] = uint8_t(random() % 3);
        noisier[k] = uint8_t(random() % 3);
    }
    Bytes edge(16777216 + 8, 0x11), edged = edge;
    std::fill(edged.begin() + 16777214, edged.begin() + 16777218, 0x22);
    Bytes image, patched;
#ifdef TANDREL_PE_IMAGES
    image = test::ReadBytes(TANDREL_PE_IMAGES + std::string("/pe32plus.exe"));
    patched = image;
    patched[0x400] ^= 0x55;  // .text
    patched[0xE40] ^= 0x66;  // .rsrc
#endif
    const struct {
        Bytes first, second;
        bool debugger;  // 1337, else dif
    } cases[] = {
        {noisy, noisier, false},
        {edge, edged, false},
        {noisy, Bytes(noisier.begin(), noisier.begin() + 5000), false},
        {image, patched, false},
        {image, patched, true},
    };
    bool imageRowsRan = true;
    for (const auto& c : cases) {
        if (c.first.empty()) {
            imageRowsRan = false;
            continue;
        }
        const std::string first = dir.Write("first.exe", c.first);
        const std::string patch = dir.File("fix.patch");
        ReportOutput output = ReportOutput::ToNewFile(patch, c.debugger);
        DifPatchSink dif(output);
        Patch1337Sink debugger(output);
        EXPECT_TRUE(CompareInto(first.c_str(), dir.Write("second", c.second).c_str(), {},
                                c.debugger ? static_cast<RecordSink&>(debugger) : dif, output)
                        .done);
        Bytes expected = c.second;
        expected.resize(std::min(c.first.size(), c.second.size()));
        expected.insert(expected.end(), c.first.begin() + expected.size(), c.first.end());
        for (const bool revert : {false, true}) {
            EXPECT_EQ(ApplyPatch({patch, first, std::nullopt, revert}).status, 0) << revert;
            EXPECT_TRUE(test::ReadBytes(first) == (revert ? c.first : expected)) << revert;
        }
    }
    if (!imageRowsRan) {
        GTEST_SKIP() << "the image rows did not run: no mingw-w64 to make the images";
    }
}

// An export over an earlier report takes its place keeping what it had: on Linux its mode, on
// Windows its attributes (ReplaceFile; a rename would give the new file a new file's).
TEST(PatchExport, ReplacesAReportKeepingWhatItHas) {
    test::TempDir dir;
    const std::string first = dir.Write("a", "ABCD");
    const std::string second = dir.Write("b", "AXYD");
    const std::string report = dir.Write("r.dif", "an earlier export");
#ifdef _WIN32
    ASSERT_TRUE(::SetFileAttributesA(report.c_str(), FILE_ATTRIBUTE_HIDDEN));
#else
    std::filesystem::permissions(report, std::filesystem::perms(0604));
#endif
    ReportOutput output = ReportOutput::ToNewFile(report, true);
    DifPatchSink sink(output);
    EXPECT_TRUE(CompareInto(first.c_str(), second.c_str(), {}, sink, output).done);
    EXPECT_EQ(test::ReadFileText(report),
              "This difference file was created by Tandrel\n\na\n00000001: 42 58\n"
              "00000002: 43 59\n");
    EXPECT_EQ(test::FolderFiles(dir.Path()).size(), 3u);
#ifdef _WIN32
    if (::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "wine_get_version")) {
        GTEST_SKIP() << "Wine's ReplaceFile replaces the file but carries no attributes over";
    }
    EXPECT_EQ(::GetFileAttributesA(report.c_str()) & FILE_ATTRIBUTE_HIDDEN,
              DWORD{FILE_ATTRIBUTE_HIDDEN});
#else
    EXPECT_EQ(std::filesystem::status(report).permissions(), std::filesystem::perms(0604));
#endif
}

// A 1337 patch lists RVAs: a first file that is no image, or a difference outside every section's
// raw data, refuses the export whole, and nothing takes the report's place.
TEST(PatchExport, The1337FormatRefusesWhatHasNoRva) {
    test::TempDir dir;
    Bytes image = test::PeBuilder{}.Section(0x1000, 0x200, 0x200).Build();
    Bytes inSection = image, inHeaders = image, pastTheEnd = image;
    inSection[0x210] ^= 1;
    inHeaders[0x100] ^= 1;
    pastTheEnd.push_back(1);
    image.push_back(0);
    pastTheEnd.back() = 2;
    const struct {
        Bytes first, second;
        std::string trouble;  // empty: exported
    } cases[] = {
        {Bytes(image.begin(), image.end() - 1), inSection, ""},
        {Bytes(4, 'A'), Bytes(4, 'B'), "is no PE image, and the 1337 format lists RVAs"},
        {Bytes(image.begin(), image.end() - 1), inHeaders,
         "the difference at offset 0x100 has no RVA: it lies in no section's raw data"},
        {image, pastTheEnd,
         "the difference at offset 0x400 has no RVA: it lies in no section's raw data"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.trouble);
        const std::string report = dir.Write("r.1337", "an earlier export");
        ReportOutput output = ReportOutput::ToNewFile(report, true);
        Patch1337Sink sink(output);
        const ComparisonOutcome outcome =
            CompareInto(dir.Write("first", c.first).c_str(), dir.Write("second", c.second).c_str(),
                        {}, sink, output);
        EXPECT_EQ(outcome.done, c.trouble.empty());
        EXPECT_EQ(outcome.trouble.Line(),
                  c.trouble.empty() ? "" : dir.File("first") + ": " + c.trouble);
        EXPECT_EQ(test::ReadFileText(report) == "an earlier export", !c.trouble.empty());
        EXPECT_EQ(test::FolderFiles(dir.Path()).size(), 3u);
    }
}

}  // namespace
}  // namespace tandrel
