#include "engine/comparison.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>

#include "formats/json_lines.h"
#include "formats/opening_sink.h"

#include "tests/support/pe_builder.h"
#include "tests/support/report_runner.h"

namespace tandrel {
namespace {

using test::Bytes;
using test::Lines;
using test::PeBuilder;

constexpr size_t kSixteenMiB = 16777216;

Bytes With(Bytes bytes, size_t begin, size_t end, uint8_t value) {
    std::fill(bytes.begin() + begin, bytes.begin() + end, value);
    return bytes;
}

class ComparisonTest : public ::testing::Test {
  protected:
    test::TempDir dir_;
};

// Against the plain byte-by-byte walk: sizes, runs at the edges, a run of more text than the
// report buffer holds, runs across the 64 KiB read pieces and the 16 MiB
// chunk edge, and the RVA and VA lines of images (in the headers, at a section's last byte and just
// past it, a section holding the headers, a PE32 VA that wraps, the first of overlapping sections,
// one with no raw data, one whose end wraps, a PE32+ VA past 4 GiB). All pairs share one set of
// chunk buffers, as a run over many pairs does: a pair differing throughout 16 MiB and more fills
// them first, an 80-byte image whose header fields lie past its end (read as zeros) follows, and
// what a pair leaves in them never shows in the next pair's report.
TEST_F(ComparisonTest, RecordsAgreeWithTheByteByByteWalk) {
    std::mt19937 random(7);
    Bytes noise(kSixteenMiB + 100000);
    std::generate(noise.begin(), noise.end(), [&random] { return uint8_t(random()); });
    Bytes inverse = noise;
    std::transform(inverse.begin(), inverse.end(), inverse.begin(),
                   [](uint8_t b) { return uint8_t(~b); });
    const Bytes tiny = PeBuilder{.lfanew = 64, .fileSize = 80}.Build();
    const Bytes zeros(0xAC, 0);
    const Bytes big(kSixteenMiB + 64, 0x11);
    const Bytes pe32 = PeBuilder{.fileSize = 0x800}
                           .Section(0x1000, 0x200, 0x400)
                           .Section(0x3000, 0x100, 0x600)
                           .Build();
    const Bytes headers = PeBuilder{.imageBase = 0xFFFFF000}.Section(0x1000, 0x400, 0).Build();
    const Bytes overlaps = PeBuilder{.fileSize = 0x800}
                               .Section(0x1000, 0x200, 0x400)
                               .Section(0x2000, 0, 0x600)
                               .Section(0x3000, 0x200, 0x500)
                               .Section(0x10, 0x200, 0xFFFFFF00u)
                               .Build();
    const Bytes pe64 = PeBuilder{.magic = 0x20B, .imageBase = 0x7FF612340000}
                           .Section(0x1000, 0x200, 0x400)
                           .Build();
    // Its signature 192 KiB in, well past the first 4 KiB read.
    const Bytes far = PeBuilder{.lfanew = 0x30000}.Section(0x1000, 0x200, 0x400).Build();
    // Not images: e_lfanew (an ELF's section counts) 1.9 MB in, with "PX" and "XE" there.
    Bytes elf(2000000, 0x45);
    elf[60] = 0x1E, elf[61] = 0, elf[62] = 0x1D, elf[63] = 0;
    elf[0x1D001E] = 'P', elf[0x1D001F] = 'X';
    Bytes elfE = elf;
    elfE[0x1D001E] = 'X', elfE[0x1D001F] = 'E';
    const std::pair<Bytes, Bytes> cases[] = {
        {noise, inverse},
        {tiny, With(tiny, 70, 72, 0xFF)},
        {{}, {}},
        {Bytes(5000, 0x5A), Bytes(5000, 0x5A)},
        {{'A', 'B', 'C', 'D'}, {'A', 'X', 'Y', 'D'}},
        {{0, 1, 2, 3, 4}, {0, 9, 2, 9, 9}},
        {zeros, With(zeros, 0xAB, 0xAC, 0xFF)},
        {Bytes(100, 7), With(Bytes(200, 7), 99, 151, 1)},  // a run up to the minimum
        {Bytes(110000, 0), Bytes(110000, 0xEE)},
        {big, With(With(With(big, 65534, 65537, 0), 131071, 131072, 0), kSixteenMiB - 3,
                   kSixteenMiB + 64, 0)},
        {pe32, With(With(With(pe32, 0x3FF, 0x401, 0), 0x6FE, 0x6FF, 0), 0x700, 0x701, 1)},
        {headers, With(headers, 0x3FF, 0x400, 0x30)},
        {overlaps, With(With(overlaps, 0x5FF, 0x601, 0), 0x6FF, 0x701, 1)},
        {overlaps, With(overlaps, 0x50, 0x51, 1)},
        {far, With(far, 0x410, 0x412, 0xFF)},
        {elf, With(elf, 0x410, 0x411, 0)},
        {elfE, With(elfE, 0x410, 0x411, 0)},
        {Bytes(200000, 1), With(Bytes(230000, 1), 150000, 150010, 0xFF)},
        {noise, inverse},
        {pe64, With(pe64, 0x410, 0x411, 0)},  // last: its report is checked below
    };
    int images = 0;
    std::string report;
    ComparisonScratch scratch;
    for (const auto& [first, second] : cases) {
        const std::string a = dir_.Write("a.bin", first);
        const std::string b = dir_.Write("b.bin", second);
        const std::string x(first.begin(), first.end()), y(second.begin(), second.end());
        ReportOutput output = ReportOutput::ToFile(dir_.File("report.txt"), false);
        TextReportSink format(output, {});
        OpeningSink sink(output, format);
        ComparisonOutcome outcome = CompareFiles(a.c_str(), b.c_str(), {}, sink, &scratch);
        EXPECT_TRUE(outcome.done && output.Close(outcome.trouble)) << x.size();
        report = test::ReadFileText(dir_.File("report.txt"));
        PeImageInfo image;
        const PeImageInfo* isPe =
            ParsePeHeader(image, {first.data(), first.size(), kSixteenMiB}, first.size()) ? &image
                                                                                          : nullptr;
        images += isPe != nullptr;
        EXPECT_EQ(report, Lines(test::ReferenceReport(a, b, x, y, true, isPe))) << x.size();
    }
    EXPECT_EQ(images, 7);
    // The section fields as the image declares them, whatever the reader made of them.
    EXPECT_NE(report.find(Lines({"RVA = 1010", "VA = 7FF612341010"})), std::string::npos);
}

#ifndef _WIN32
// Each line of a JSON Lines file as Python's json module reads it, one text a line: the files
// line's sizes, compared count and image, each run's offsets, length, bytes, RVA and VA, and the
// summary.
std::string ReadByPython(const std::string& path) {
    const std::string command =
        "python3 -c \"import json, sys\n"
        "for d in map(json.loads, open(sys.argv[1], encoding='utf-8')):\n"
        "  if d['type'] == 'files': print(d['first']['size'], d['second']['size'], "
        "d['compared'], d['pe'])\n"
        "  elif d['type'] == 'run': print(d['offset'], d.get('second_offset', '-'), d['length'], "
        "d['first'], d['second'], d['rva'], d['va'])\n"
        "  else: print(d['runs'], d['bytes'], d['complete'], d['identical'])\" " +
        path;
    return test::CommandOutput(command);
}

std::string Hex(const std::string& bytes, size_t at, size_t length) {
    std::string text;
    for (size_t k = at; k < at + length; ++k) {
        text += test::Formatted("%02x", uint8_t(bytes[k]));
    }
    return text;
}

// JSON Lines against the same byte-by-byte walk: a random pair, unequal sizes, runs at the 16 MiB
// chunk edge, an image, skips alike and apart, a limit, and the record limit.
TEST_F(ComparisonTest, JsonLinesAgreeWithTheByteByByteWalk) {
    std::mt19937 random(7);
    Bytes noisy(6000), noisier(6000);
    for (size_t k = 0; k < noisy.size(); ++k) {
        noisy[k] = uint8_t(random() % 3);
        noisier[k] = uint8_t(random() % 3);
    }
    const Bytes big(kSixteenMiB + 64, 0x11);
    const Bytes pe32 = PeBuilder{}.Section(0x1000, 0x200, 0x400).Build();
    const struct {
        Bytes first, second;
        CompareRange range;
        uint64_t maxRuns;
    } cases[] = {
        {noisy, noisier, {}, UINT64_MAX},
        {Bytes(100, 7), With(Bytes(200, 7), 99, 151, 1), {}, UINT64_MAX},
        {pe32, With(With(pe32, 0x3C, 0x3D, 0), 0x410, 0x412, 0), {}, UINT64_MAX},
        {noisy, noisier, {{3, 3}, UINT64_MAX}, UINT64_MAX},
        {noisy, noisier, {{2, 5}, 1000}, UINT64_MAX},
        // The chunk edge counts from the first compared byte.
        {big, With(big, kSixteenMiB - 3, kSixteenMiB + 2, 0), {{1, 1}, UINT64_MAX}, UINT64_MAX},
        {noisy, noisier, {}, 2},
        {noisy, noisy, {{0, 0}, 10}, 0},
    };
    for (const auto& c : cases) {
        const std::string a(c.first.begin(), c.first.end()), b(c.second.begin(), c.second.end());
        const std::string x = a.substr(std::min<size_t>(c.range.skips[0], a.size()), c.range.limit);
        const std::string y = b.substr(std::min<size_t>(c.range.skips[1], b.size()), c.range.limit);
        PeImageInfo image;
        const bool isPe =
            ParsePeHeader(image, {c.first.data(), c.first.size(), kSixteenMiB}, c.first.size());
        std::string expected =
            std::to_string(a.size()) + " " + std::to_string(b.size()) + " " +
            std::to_string(std::min(x.size(), y.size())) +
            (isPe ? " {'format': 'PE32', 'image_base': '0x400000'}\n" : " None\n");
        const std::vector<test::ReferenceRun> runs =
            test::ReferenceRuns(x, y, isPe ? &image : nullptr, c.range.skips[0]);
        uint64_t listed = 0, bytes = 0;
        for (; listed < runs.size() && listed < c.maxRuns; ++listed) {
            const test::ReferenceRun& run = runs[listed];
            const auto hex = [](uint64_t value) { return test::Formatted("0x%llx", value); };
            expected +=
                std::to_string(c.range.skips[0] + run.at) + " " +
                (c.range.skips[0] != c.range.skips[1] ? std::to_string(c.range.skips[1] + run.at)
                                                      : "-") +
                " " + std::to_string(run.length) + " " + Hex(x, run.at, run.length) + " " +
                Hex(y, run.at, run.length) + " " + (run.rva ? hex(run.rva) : "None") + " " +
                (run.rva ? hex(run.va) : "None") + "\n";
            bytes += run.length;
        }
        const bool complete = listed == runs.size();
        expected += std::to_string(listed) + " " + std::to_string(bytes) +
                    (complete ? " True " : " False ") +
                    (complete && runs.empty() && x.size() == y.size() ? "True\n" : "False\n");

        ReportOutput output = ReportOutput::ToFile(dir_.File("runs.jsonl"), true);
        JsonLinesSink sink(output);
        ComparisonOptions options;
        options.range = c.range;
        options.maxRuns = c.maxRuns;
        EXPECT_TRUE(CompareInto(dir_.Write("a.bin", c.first).c_str(),
                                dir_.Write("b.bin", c.second).c_str(), options, sink, output)
                        .done);
        EXPECT_EQ(ReadByPython(dir_.File("runs.jsonl")), expected);
    }
}
#endif

#ifdef TANDREL_PE_IMAGES
// Two builds of one source, linked at different times, PE32 and PE32+: their differences lie in
// named fields; set aside as noise, none is left, and a changed code byte is then the only record.
TEST_F(ComparisonTest, BuildNoiseOfRealBuildsIsNamedAndSetAside) {
    for (const std::string kind : {"/pe32.exe", "/pe32plus.exe"}) {
        const std::string first = TANDREL_PE_IMAGES + kind;
        Bytes later = test::ReadBytes(TANDREL_PE_IMAGES + ("/later" + kind));
        ComparisonOptions options;
        options.imagePlaces = true;
        for (const bool changed : {false, true}) {
            later[0x400] ^= changed ? 0xFF : 0;
            const std::string second = dir_.Write("later.exe", later);
            for (const bool noise : {false, true}) {
                options.ignorePeNoise = noise;
                test::RecordingSink sink;
                const ComparisonOutcome outcome =
                    CompareFiles(first.c_str(), second.c_str(), options, sink);
                std::vector<std::string> fields;
                for (const std::string& record : sink.records) {
                    fields.push_back(record.substr(record.rfind(' ') + 1));
                }
                const std::vector<std::string> expected =
                    noise ? std::vector<std::string>{}
                          : std::vector<std::string>{"FileHeader.TimeDateStamp",
                                                     "OptionalHeader.CheckSum", "CodeView.Guid",
                                                     "ExportDirectory.TimeDateStamp"};
                const auto code =
                    std::find(sink.records.begin(), sink.records.end(), "400 1 .text null");
                EXPECT_EQ(code != sink.records.end(), changed) << kind;
                if (changed) {
                    fields.erase(fields.begin() + (code - sink.records.begin()));
                }
                EXPECT_EQ(fields, expected) << kind;
                EXPECT_EQ(outcome.identical, noise && !changed) << kind;
                EXPECT_EQ(sink.summary.ignoredFields, noise ? 4u : 0u) << kind;
            }
        }
    }
}
#endif

// The text for a result box is the report, cut at 299,999 characters (the box's options and line
// end are checked through the dialog). The
// full report's length is swept across the cut: one run, six characters of report per byte,
// brings it within a few characters of the target; the second file's name is then padded until
// the report (with "\n" line ends) is exactly that long.
TEST_F(ComparisonTest, BoxTextIsTheReportCutAt299999Characters) {
    const std::string a = dir_.Write("a.bin", Bytes(60000, 0));
    auto report = [&](const std::string& name, size_t run) {
        Bytes second(60000, 0);
        std::fill_n(second.begin(), run, 1);
        std::string text = test::FileModeReport(a, dir_.Write(name, second), dir_).report;
        text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
        return text;
    };
    const size_t fixed = report("b", 10000).size() - 6 * 10000;
    for (size_t target : {299998u, 299999u, 300000u}) {
        const size_t run = (target - fixed) / 6 - 1;
        const std::string b = "b" + std::string(target - report("b", run).size(), 'x');
        const std::string full = report(b, run);
        ASSERT_EQ(full.size(), target);
        const test::Compared box = test::BoxReport(a, dir_.File(b), {});
        EXPECT_EQ(box.report, full.substr(0, 299999)) << target;
        EXPECT_TRUE(box.done);
    }
}

// Files past 4 GiB, made sparse so they cost no disk space: offsets and sizes must not wrap at
// 32 bits.
TEST_F(ComparisonTest, OffsetsAndSizesPastFourGigabytes) {
    const std::string a = dir_.Write("a.bin", Bytes(16, 0));
    const std::string b = dir_.Write("b.bin", Bytes{});
    std::filesystem::resize_file(b, (uint64_t{1} << 32) + 16);
    const std::string header = Lines({"Comparing " + a, " and " + b, "Warning: not a PE file!"});
    EXPECT_EQ(test::FileModeReport(a, b, dir_).report,
              header + Lines({"Different file size, comparing only minimum = 16"}));
    std::filesystem::resize_file(a, (uint64_t{1} << 32) + 16);
    std::fstream(b, std::ios::in | std::ios::out | std::ios::binary).seekp(0x100000005).put('~');
    EXPECT_EQ(test::FileModeReport(a, b, dir_).report,
              header + Lines({"", "File offset = 100000005", "Bytes Size (dec) = 1",
                              "First file bytes: ", "00 ", "Second file bytes: ", "7E "}));
}

}  // namespace
}  // namespace tandrel
