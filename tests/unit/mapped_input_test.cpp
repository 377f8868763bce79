// Linux inputs read through mapped windows: a file that cannot be mapped is read instead, with
// the same report; a file that changes while compared, mapped or read, voids that chunk and ends
// the comparison with the whole records of the chunks before.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "engine/comparison.h"
#include "platform/input_file.h"
#include "platform/mapped_window.h"
#include "tests/support/report_runner.h"

namespace tandrel {
namespace {

struct Case {
    int refuseCall;         // the mapping to refuse, counted from 1; 0 for none
    const char* truncated;  // the file resized to toSize around mapping number cutCall
    int cutCall;            // counted from 1: a's and b's first windows, then a's and b's last
    bool beforeMap;         // cut just before that window is mapped, or just after
    uint64_t toSize;
    std::vector<const char*> offsets;  // of the one-byte records the report holds
    bool done;                         // what RunComparison returns: false is status 2
    bool aged = false;  // files last changed 2 s before: watched through their times alone
};

const Case* active = nullptr;
std::string activePath;
int mapCalls = 0;

void Truncate(bool beforeMap) {
    if (!activePath.empty() && mapCalls == active->cutCall && beforeMap == active->beforeMap) {
        std::filesystem::resize_file(activePath, active->toSize);
        activePath.clear();
    }
}
bool AllowMap(uint64_t) {
    ++mapCalls;
    Truncate(true);
    return mapCalls != active->refuseCall;
}
// Stands for a handler the program had before; a fault it gets is fatal, as by default.
void EarlierBusHandler(int) {
    std::signal(SIGBUS, SIG_DFL);
}

TEST(MappedInput, RefusedMappingsReadAndChangesVoidTheirChunk) {
    const std::vector<Case> cases = {
        {0, nullptr, 0, false, 0, {"0", "FFFFFF", "1000001"}, true},  // mapped
        {1, nullptr, 0, false, 0, {"0", "FFFFFF", "1000001"}, true},  // first file read
        {2, nullptr, 0, false, 0, {"0", "FFFFFF", "1000001"}, true},  // second file read
        {3, nullptr, 0, false, 0, {"0", "FFFFFF", "1000001"}, true},  // refused past the start
        {0, "a.bin", 3, false, 16781312, {"0", "FFFFFF"}, false},     // cut under it
        {0, "b.bin", 3, true, 16781312, {"0", "FFFFFF"}, false},      // shrank
        {0, "a.bin", 1, false, 4096, {}, false},                      // first chunk cut
        // Cut by a few bytes: the last page still maps, and must not show zeros for them.
        {0, "a.bin", 4, false, 16842747, {"0", "FFFFFF"}, false},
        {0, "b.bin", 4, false, 16842747, {"0", "FFFFFF"}, false},
        {0, "a.bin", 2, false, 16777211, {}, false},
        {0, "b.bin", 4, false, 16777211, {"0", "FFFFFF"}, false},
        {0, "a.bin", 3, false, 16842752 + 4096, {"0", "FFFFFF"}, false},  // grown
        // Resized to the size it has: not a byte changed, yet it was written to.
        {0, "a.bin", 3, false, 16842752, {"0", "FFFFFF"}, false},  // while mapped
        {3, "b.bin", 3, true, 16842852, {"0", "FFFFFF"}, false},   // while read
        {0, "a.bin", 3, false, 16842752, {"0", "FFFFFF"}, false, true},
    };
    for (const Case& c : cases) {
        for (const bool dialog : {false, true}) {
            SCOPED_TRACE(testing::Message() << "case " << &c - &cases[0] << ", dialog " << dialog);
            test::TempDir dir;
            test::Bytes first(16777216 + 65536, 2);
            test::Bytes second = first;
            second[0] = second[16777215] = second[16777217] = 1;
            second.resize(first.size() + 100, 2);
            const std::string a = dir.Write("a.bin", first), b = dir.Write("b.bin", second);
            if (c.aged && dialog) {
                continue;
            } else if (c.aged) {
                std::this_thread::sleep_for(std::chrono::milliseconds(2100));
            }
            active = &c;
            activePath = c.truncated ? dir.File(c.truncated) : "";
            mapCalls = 0;
            TestMappingSeam() = {AllowMap, [](uint64_t) { Truncate(false); }};
            std::signal(SIGBUS, EarlierBusHandler);

            // The report file, or the result box's text; a box is left alone by a comparison
            // that writes nothing.
            std::vector<std::string> lines = {
                "Comparing " + a, " and " + b, "Warning: not a PE file!",
                "Different file size, comparing only minimum = 16842752"};
            for (const char* offset : c.offsets) {
                lines.insert(lines.end(),
                             {"", std::string("File offset = ") + offset, "Bytes Size (dec) = 1",
                              "First file bytes: ", "02 ", "Second file bytes: ", "01 "});
            }
            const std::string written = test::Lines(lines, dialog ? "\r\n" : "\n");
            const std::string expected = c.offsets.empty() ? (dialog ? "(none)" : "") : written;
            const test::Compared compared =
                dialog ? test::BoxReport(a, b, {"\r\n"}) : test::FileModeReport(a, b, dir);
            TestMappingSeam() = {};
            EXPECT_EQ(compared.report, expected);
            EXPECT_EQ(compared.done, c.done);
            // The handler in place before the comparison is back.
            EXPECT_EQ(std::signal(SIGBUS, SIG_DFL), &EarlierBusHandler);
        }
    }
}

// A freshly written file is watched for changes its times may not show. One input file opened on
// fresh file after fresh file (as a folder run does) keeps one watch descriptor: the earlier
// files' changes, and the end of their watches, never count against the file open now; its own
// changes do.
TEST(MappedInput, AReopenedFileIsWatchedAloneWithNoEarlierEvents) {
    test::TempDir dir;
    const std::string files[3] = {dir.Write("1.bin", std::string(4096, 'a')),
                                  dir.Write("2.bin", std::string(4096, 'b')),
                                  dir.Write("3.bin", std::string(4096, 'c'))};
    const auto touch = [](const std::string& path) {
        std::ofstream(path, std::ios::binary | std::ios::in | std::ios::out) << 'x';
    };
    InputFile file;
    Trouble trouble;
    ASSERT_TRUE(file.Open(files[0].c_str(), trouble)) << trouble.reason;
    touch(files[0]);  // its event stays queued: nothing has looked yet
    for (int k = 1; k < 3; ++k) {
        ASSERT_TRUE(file.Open(files[k].c_str(), trouble)) << trouble.reason;
        touch(files[k - 1]);
        EXPECT_TRUE(file.UnchangedSinceOpen()) << k;
    }
    touch(files[2]);
    EXPECT_FALSE(file.UnchangedSinceOpen());
}

}  // namespace
}  // namespace tandrel
#endif
