// Build noise set aside: the bytes and the fields counted, a field once however many runs it
// holds.
#include <gtest/gtest.h>

#include "engine/comparison.h"
#include "tests/support/pe_builder.h"
#include "tests/support/report_runner.h"

namespace tandrel {
namespace {

// A PE32 image with its PE header at 0x80: FileHeader.TimeDateStamp at 88 to 8B, then
// PointerToSymbolTable at 8C; OptionalHeader.CheckSum at D8 to DB.
const test::Bytes kImage = test::PeBuilder{}.Section(0x1000, 0x200, 0x200).Build();

TEST(IgnoredFields, AFieldCountsOnceHoweverManyRunsItHolds) {
    const struct {
        std::vector<size_t> changed;  // offsets whose byte the second file flips
        uint64_t fields;
        uint64_t bytes;
        std::vector<std::string> records;
    } cases[] = {
        {{0x88, 0x8A}, 1, 2, {}},        // two separate runs in one time stamp
        {{0x88, 0x89, 0x8B}, 1, 3, {}},  // two runs, the first of two bytes
        {{0x88, 0xD8}, 2, 2, {}},
        {{0x88, 0x8A, 0xD9, 0xDB}, 2, 4, {}},
        // A run from the time stamp into the next field: its noise part is set aside.
        {{0x8A, 0x8B, 0x8C, 0x8D}, 1, 2, {"8C 2 null FileHeader.PointerToSymbolTable"}},
        {{0x8F}, 0, 0, {"8F 1 null FileHeader.PointerToSymbolTable"}},
    };
    const test::TempDir dir;
    const std::string first = dir.Write("first.exe", kImage);
    for (const auto& c : cases) {
        test::Bytes other = kImage;
        for (const size_t offset : c.changed) {
            other[offset] ^= 0xFF;
        }
        const std::string second = dir.Write("second.exe", other);
        ComparisonOptions options;
        options.imagePlaces = true;
        options.ignorePeNoise = true;
        test::RecordingSink sink;
        CompareFiles(first.c_str(), second.c_str(), options, sink);
        EXPECT_EQ(sink.summary.ignoredFields, c.fields) << c.changed.size();
        EXPECT_EQ(sink.summary.ignoredBytes, c.bytes) << c.changed.size();
        EXPECT_EQ(sink.records, c.records) << c.changed.size();
    }
}

}  // namespace
}  // namespace tandrel
