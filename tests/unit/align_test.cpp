// The aligned comparison (--align) against the replay oracle, on real files: edit scripts whose
// records are known exactly, data where they are not (then only the replay must hold), the
// ranges, the record limit, build noise and images.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <tuple>

#include "engine/comparison.h"
#include "platform/mapped_window.h"
#include "tests/support/edit_replay.h"
#include "tests/support/pe_builder.h"
#include "tests/support/temp_dir.h"

namespace tandrel {
namespace {

using test::Changed;
using test::Deleted;
using test::EditRecord;
using test::Inserted;
using enum RunKind;

std::string RandomBytes(size_t size, uint32_t seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& byte : bytes) {
        byte = static_cast<char>(random() & 0xFF);
    }
    return bytes;
}

struct Result : test::EditRecordingSink {
    ComparisonOutcome outcome;
};

// One edit of a script: its kind, its offset in the first file, its length.
using Edit = std::tuple<RunKind, uint64_t, size_t>;

// Makes the second file from base and the edits (in offset order, apart), and the records that
// say exactly those edits. Bytes next to each edit are set so that it can be placed only where
// it was made.
struct Script {
    std::string first;
    std::string second;
    std::vector<EditRecord> records;
};

Script MakeScript(std::string base, const std::vector<Edit>& edits, uint32_t seed) {
    std::mt19937 random(seed);
    const auto other = [&random](char byte) {
        return static_cast<char>(byte ^ (1 + random() % 255));
    };
    for (const auto& [kind, offset, length] : edits) {
        if (kind == kDelete && offset + length < base.size()) {
            base[offset + length] = other(base[offset]);
        }
    }
    Script script{base, "", {}};
    uint64_t at = 0;
    for (const auto& [kind, offset, length] : edits) {
        script.second.append(base, at, offset - at);
        at = offset;
        const size_t cut = kind == kInsert ? 0 : length;
        std::string bytes = kind == kDelete ? "" : RandomBytes(length, random());
        // A change differs in every byte, an insertion from the byte it goes before.
        const size_t differing = kind == kChange ? length : (kind == kInsert && at < base.size());
        for (size_t k = 0; k < differing; ++k) {
            bytes[k] = other(base[at + k]);
        }
        script.records.push_back({kind, at, script.second.size(), base.substr(at, cut), bytes});
        script.second += bytes;
        at += cut;
    }
    script.second.append(base, at);
    return script;
}

// count edits of the kinds given in turn, lengths 1 to maxLength, spaced about gap apart.
std::vector<Edit> SpacedEdits(std::initializer_list<RunKind> kinds, size_t count, size_t maxLength,
                              size_t gap, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<Edit> edits;
    uint64_t at = 100;
    for (size_t k = 0; k < count; ++k) {
        const size_t length = 1 + random() % maxLength;
        edits.push_back({kinds.begin()[k % kinds.size()], at, length});
        at += length + gap + random() % gap;
    }
    return edits;
}

constexpr uint64_t kMiB = 1048576;
constexpr uint64_t kChunkEdge = 16777216;

class AlignTest : public ::testing::Test {
  protected:
    Result Align(const std::string& first, const std::string& second,
                 ComparisonOptions options = {}) {
        options.align = true;
        Result result;
        result.outcome = CompareFiles(dir_.Write("a.bin", first).c_str(),
                                      dir_.Write("b.bin", second).c_str(), options, result);
        EXPECT_TRUE(result.aligned);
        return result;
    }
    // A whole run whose records replay the first file into the second; when the records are
    // known, exactly those.
    void Check(const std::string& first, const std::string& second,
               const std::optional<std::vector<EditRecord>>& records = std::nullopt) {
        const Result result = Align(first, second);
        EXPECT_TRUE(result.outcome.done);
        EXPECT_TRUE(result.summary.complete);
        EXPECT_EQ(result.outcome.identical, first == second);
        EXPECT_EQ(test::Replay(first, result.records), second);
        if (records) {
            EXPECT_EQ(result.records, *records);
        }
    }
    test::TempDir dir_;
};

// Unique edits are reported exactly as made, each at its place: at the start, the middle and
// the end, across the 16 MiB chunk edge and the end of what one input's buffer holds
// (19,005,440 bytes), up to 1 MiB long, and hundreds of them.
TEST_F(AlignTest, UniqueEditsAreReportedExactly) {
    const struct {
        const char* name;
        size_t size;
        std::vector<Edit> edits;
    } rows[] = {
        {"at start and end", 300000, {{kInsert, 0, 16}, {kDelete, 299984, 16}}},
        {"at start, 5 before end", 300000, {{kDelete, 0, 16}, {kInsert, 299995, 9}}},
        {"one byte each, 3000, at end",
         300000,
         {{kInsert, 1000, 1},
          {kDelete, 2000, 1},
          {kChange, 3000, 1},
          {kChange, 100000, 3000},
          {kInsert, 300000, 16}}},
        {"insert across chunk edge", kChunkEdge + 65536, {{kInsert, kChunkEdge - 8, 16}}},
        {"delete across chunk edge", kChunkEdge + 65536, {{kDelete, kChunkEdge - 8, 16}}},
        {"edits across buffer end",
         19005440 + 4 * kMiB,
         {{kInsert, 19005440 - 8, 16},
          {kDelete, 19005440 + 2 * kMiB - 3, 40},
          {kInsert, 19005440 + 3 * kMiB, 1000}}},
        {"1 MiB", 4 * kMiB, {{kInsert, kMiB + 12345, kMiB}, {kDelete, 2 * kMiB + 12345, kMiB}}},
        {"300 insertions", 2 * kMiB, SpacedEdits({kInsert}, 300, 64, 3000, 1)},
        {"300 deletions", 2 * kMiB, SpacedEdits({kDelete}, 300, 64, 3000, 2)},
        {"600 mixed", 4 * kMiB, SpacedEdits({kInsert, kChange, kDelete}, 600, 2000, 3000, 3)},
        {"mixed, close", 300000, SpacedEdits({kDelete, kInsert, kChange}, 500, 40, 60, 4)},
    };
    uint32_t seed = 10;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const Script script = MakeScript(RandomBytes(row.size, seed), row.edits, seed + 1);
        seed += 2;
        Check(script.first, script.second, script.records);
#ifndef _WIN32
        // Where mapping is refused (as on Windows), the files are read instead, with the same
        // records.
        if (row.size > 2 * kMiB) {
            TestMappingSeam() = {[](uint64_t) { return false; }, nullptr};
            Check(script.first, script.second, script.records);
            TestMappingSeam() = {};
        }
#endif
    }
}

// Where edits are not unique, or there is nothing to line up, the records still replay.
TEST_F(AlignTest, AnyPairReplays) {
    const std::string random = RandomBytes(3 * kMiB, 7);
    std::string periodic(2 * kMiB, '\0');
    for (size_t k = 0; k < periodic.size(); ++k) {
        periodic[k] = "tandrel"[k % 7];
    }
    const auto spliced = [](std::string s, size_t at, const std::string& bytes, size_t cut) {
        return s.substr(0, at) + bytes + s.substr(at + cut);
    };
    const std::string zeros(2 * kMiB, '\0');
    const std::string r = RandomBytes(4000, 11);
    const std::string tail = "x" + RandomBytes(4000, 12);
    std::string ab;
    for (int k = 0; k < 40; ++k) {
        ab += "ab";
    }
    const struct {
        const char* name;
        std::string first;
        std::string second;
        std::optional<std::vector<EditRecord>> records;
    } rows[] = {
        {"identical", random, random, {{}}},
        {"unrelated", RandomBytes(1500000, 8), RandomBytes(2700000, 9)},
        {"insertion past the bound", random, spliced(random, kMiB, RandomBytes(3 * kMiB, 5), 0)},
        {"deletion past the bound", random, spliced(random, 200000, "", 2 * kMiB)},
        {"zeros with edits", zeros,
         spliced(spliced(zeros, 500000, std::string(100, '\0'), 0), 900000, "\xFF\xFF", 1)},
        {"zeros to random", zeros, random},
        {"periodic, insertion", periodic, spliced(periodic, 700001, "xyz", 0)},
        {"periodic, shifted by one", periodic, periodic.substr(1)},
        {"insertion repeats", "0123456789AB" + random.substr(0, 5000),
         "0123456789ABABABAB" + random.substr(0, 5000)},
        // The shapes an empty side and a tie take: an insertion of "AB" into "..AB.." is placed
        // after the bytes already there, one changed byte is a change, not an insertion and a
        // deletion, and of two ways that pass over as many bytes the one with more changed bytes
        // is taken: "Q" changed to "b", not "Qa" deleted.
        {"both empty", "", "", {{}}},
        {"first empty", "", "abc", {{Inserted(0, 0, "abc")}}},
        {"second empty", "abc", "", {{Deleted(0, 0, "abc")}}},
        {"AB into ..AB..", r + "AB" + tail, r + "ABAB" + tail, {{Inserted(4002, 4002, "AB")}}},
        {"repeated byte", r + "aaaa" + tail, r + "aaaaaa" + tail, {{Inserted(4004, 4004, "aa")}}},
        {"one byte changed", r + "Q" + tail, r + "W" + tail, {{Changed(4000, 4000, "Q", "W")}}},
        {"change or deletion",
         r + "Q" + ab + tail,
         r + "b" + ab + tail,
         {{Changed(4000, 4000, "Q", "b")}}},
        {"short tail insertion", "0123456789", "012345xy6789", {{Inserted(6, 6, "xy")}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Check(row.first, row.second, row.records);
    }
}

// Skips move both files' offsets; a limit ends the first file's range and the second is read
// only as far as it lines up with it; the record limit stops the run.
TEST_F(AlignTest, RangesAndRecordLimit) {
    const std::string base = RandomBytes(100000, 21);
    const Script script = MakeScript(
        base, {{kInsert, 1000, 16}, {kDelete, 20000, 30}, {kChange, 40000, 5}, {kInsert, 60000, 7}},
        22);
    std::vector<EditRecord> shifted = script.records;
    for (EditRecord& record : shifted) {
        record.secondOffset += 4;
    }
    EXPECT_EQ(Align(script.first, "1234" + script.second, {.range = {.skips = {5, 9}}}).records,
              shifted);
    // A limit before the third edit, and one past a shorter second file.
    const Result limited = Align(script.first, script.second, {.range = {.limit = 40000}});
    EXPECT_EQ(limited.records,
              std::vector<EditRecord>(script.records.begin(), script.records.begin() + 2));
    EXPECT_TRUE(limited.summary.complete);
    EXPECT_EQ(Align(base, base.substr(0, 30000), {.range = {.limit = 50000}}).records,
              std::vector<EditRecord>{Deleted(30000, 30000, base.substr(30000, 20000))});
    const Result capped = Align(script.first, script.second, {.maxRuns = 2});
    EXPECT_EQ(capped.records.size(), 2u);
    EXPECT_TRUE(capped.summary.stoppedAtLimit);
    EXPECT_FALSE(capped.summary.complete);
    EXPECT_TRUE(capped.outcome.done);
}

// An image with a block inserted into its section: the insertion's RVA and VA in both images,
// each through its own section table, and the time stamp set aside as build noise.
TEST_F(AlignTest, InsertionIntoAnImage) {
    const test::Bytes a = test::PeBuilder{}.Section(0x1000, 0x1C00, 0x400).Build();
    const test::Bytes b = test::PeBuilder{}.Section(0x3000, 0x1C10, 0x400).Build();
    const std::string data = RandomBytes(0x1C00, 31);
    const std::string inserted(16, 'I');
    const std::string first = std::string(a.begin(), a.begin() + 0x400) + data;
    std::string second = std::string(b.begin(), b.begin() + 0x400) + data.substr(0, 0x800) +
                         inserted + data.substr(0x800);
    second[0x80 + 8] = 0x5A;  // the file header's TimeDateStamp

    const Result plain = Align(first, second);
    EXPECT_EQ(test::Replay(first, plain.records), second);
    ASSERT_FALSE(plain.records.empty());
    EXPECT_EQ(plain.records.back(), (EditRecord{kInsert, 0xC00, 0xC00, "", inserted, 0x1800,
                                                0x401800, 0x3800, 0x403800}));
    EXPECT_EQ(plain.records.front().offset, 0x88u);

    const Result quiet = Align(first, second, {.ignorePeNoise = true});
    EXPECT_EQ(quiet.summary.ignoredBytes, 1u);
    EXPECT_EQ(quiet.summary.ignoredFields, 1u);
    EXPECT_EQ(quiet.records.front().offset, plain.records[1].offset);
    EXPECT_EQ(quiet.records.size() + 1, plain.records.size());
}

#ifndef _WIN32
// A file that changes while it is compared, in place or read, ends the run undone (status 2)
// with no record from bytes read after the change.
std::string changingPath;
uint64_t changedSize = 0;
void ChangeFile() {
    if (!changingPath.empty()) {
        std::filesystem::resize_file(changingPath, changedSize);
        changingPath.clear();
    }
}

TEST_F(AlignTest, ChangedInputVoidsTheRun) {
    const Script script = MakeScript(RandomBytes(3 * kMiB, 41), {{kInsert, 2 * kMiB, 16}}, 42);
    const struct {
        const char* name;
        const char* file;
        uint64_t size;
        bool mapping;  // false: mapping refused, the file changed before it is read
    } rows[] = {
        {"second grown under its window", "b.bin", 3 * kMiB + 17, true},
        {"first cut under its window", "a.bin", 4096, true},
        {"second grown before it is read", "b.bin", 3 * kMiB + 17, false},
        {"first cut before it is read", "a.bin", 100000, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        changingPath = dir_.File(row.file);
        changedSize = row.size;
        TestMappingSeam() = row.mapping ? MappingSeam{nullptr, [](uint64_t) { ChangeFile(); }}
                                        : MappingSeam{[](uint64_t) { return ChangeFile(), false; }};
        const Result result = Align(script.first, script.second);
        TestMappingSeam() = {};
        const Trouble& trouble = result.outcome.trouble;
        EXPECT_TRUE(changingPath.empty());
        EXPECT_FALSE(result.outcome.done);
        EXPECT_FALSE(result.summary.complete);
        EXPECT_TRUE(result.records.empty());
        EXPECT_EQ(trouble.file, dir_.File(row.file));
        EXPECT_TRUE(trouble.reason == "changed while it was compared" ||
                    trouble.reason.starts_with("ended before its size"))
            << trouble.reason;
    }
}
#endif

}  // namespace
}  // namespace tandrel
