// The patch exports: IPS against bytes assembled here by hand, and dif and 1337 round trips
// through the patch reader.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "engine/comparison.h"
#include "formats/patch_sinks.h"
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
        PeImageInfo image;
        EXPECT_EQ(CompareFiles(image, c.first.c_str(), c.second.c_str(), {}, sink).done, c.done);
        EXPECT_EQ(test::ReadFileText(patch), c.ips);
        EXPECT_EQ(std::filesystem::exists(patch), c.done);
    }
}

}  // namespace
}  // namespace tandrel
