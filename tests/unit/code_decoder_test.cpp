#include "engine/code_decoder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <regex>
#include <sstream>

#include "engine/comparison.h"
#include "formats/json_lines.h"
#include "tests/support/pe_builder.h"
#include "tests/support/report_runner.h"

namespace tandrel {
namespace {

using test::Bytes;
using test::PeBuilder;
using test::TempDir;

// An image with its code section (.text at RVA 0x1000, raw data at 0x200) holding code, then a
// data section at RVA 0x2000 (raw data at 0x400). The machine and the section flags are set
// through the builder's words: the table starts at e_lfanew + 24 + SizeOfOptionalHeader.
Bytes CodeImage(const Bytes& code, uint16_t machine = 0x14C, bool plus = false,
                uint32_t codeSize = 0x200) {
    PeBuilder builder;
    builder.magic = plus ? 0x20B : 0x10B;
    builder.imageBase = plus ? 0x140000000 : 0x400000;
    builder.Section(0x1000, codeSize, 0x200).Section(0x1000 + codeSize, 0x200, 0x200 + codeSize);
    const uint32_t table = 0x80 + 24 + (plus ? 0xF0 : 0xE0);
    builder.words = {{0x84, machine | 2u << 16},
                     {table + 36, 0x60000020},        // code, execute, read
                     {table + 40 + 36, 0xC0000040}};  // initialised data, read, write
    Bytes image = builder.Build();
    std::copy(code.begin(), code.end(), image.begin() + 0x200);
    return image;
}

// push ebp; mov ebp, esp; xor eax, eax; mov al, 1; jnz +0x10; call +0x100; ret
const Bytes kCode32 = {0x55, 0x8B, 0xEC, 0x33, 0xC0, 0xB0, 0x01, 0x75,
                       0x10, 0xE8, 0x00, 0x01, 0x00, 0x00, 0xC3};

// Each instruction as "VA bytes text"; "null" for no listing.
std::string Listed(bool found, const CodeListing& code) {
    if (!found) {
        return "null";
    }
    std::string text;
    for (const Instruction& instruction : code) {
        char head[40];
        std::snprintf(head, sizeof head, "%llX ", static_cast<unsigned long long>(instruction.va));
        text += head;
        for (size_t k = 0; k < instruction.length; ++k) {
            std::snprintf(head, sizeof head, "%02x", instruction.bytes[k]);
            text += head;
        }
        text += " " + std::string(instruction.Text()) + "; ";
    }
    return text;
}

struct Files {
    TempDir dir;
    InputFile inputs[2];
    CodeDecoder decoder;

    Files(const Bytes& first, const Bytes& second) {
        Trouble trouble;
        EXPECT_TRUE(inputs[0].Open(dir.Write("first", first).c_str(), trouble));
        EXPECT_TRUE(inputs[1].Open(dir.Write("second", second).c_str(), trouble));
        decoder.Open(inputs[0], inputs[1]);
    }
    std::string List(int side, uint64_t offset, size_t length) {
        CodeListing code;
        const bool found = decoder.List(side, offset, length, code);
        return Listed(found, code);
    }
};

TEST(CodeDecoder, ListsTheInstructionsThatOverlapARun) {
    const struct {
        uint64_t offset;
        size_t length;
        const char* listed;
    } cases[] = {
        // Inside an instruction: the whole instruction, from where the sweep put its start.
        {0x202, 1, "401001 8bec mov ebp, esp; "},
        // Across a boundary: both instructions.
        {0x204, 2, "401003 33c0 xor eax, eax; 401005 b001 mov al, 0x01; "},
        // Relative targets as VAs.
        {0x208, 1, "401007 7510 jnz 0x00401019; "},
        {0x20A, 3, "401009 e800010000 call 0x0040110E; "},
        // Headers and data sections hold no code.
        {0x10, 4, "null"},
        {0x400, 2, "null"},
        // A run from code into data lists the code part.
        {0x3FF, 2, "4011FF 97 xchg edi, eax; "},
    };
    for (const auto& c : cases) {
        // A decoder per case: each starts its sweep afresh.
        Files files(CodeImage(kCode32), CodeImage(kCode32));
        EXPECT_EQ(files.List(0, c.offset, c.length), c.listed) << std::hex << c.offset;
    }
}

TEST(CodeDecoder, ResumesAndRestartsItsSweep) {
    Files files(CodeImage(kCode32), CodeImage(kCode32));
    // The second run starts inside the first run's last instruction.
    EXPECT_EQ(files.List(0, 0x203, 3), "401003 33c0 xor eax, eax; 401005 b001 mov al, 0x01; ");
    EXPECT_EQ(files.List(0, 0x206, 1), "401005 b001 mov al, 0x01; ");
    // A run before the last one asked for sweeps the section again.
    EXPECT_EQ(files.List(0, 0x200, 1), "401000 55 push ebp; ");
    // Each side keeps its own sweep.
    EXPECT_EQ(files.List(1, 0x20E, 1), "40100E c3 ret; ");
    EXPECT_EQ(files.List(0, 0x201, 1), "401001 8bec mov ebp, esp; ");
}

TEST(CodeDecoder, ListsAByteThatDoesNotDecodeAlone) {
    // 0x06 (push es) does not exist in 64-bit code; the sweep goes on with the next byte.
    const Bytes code = {0x48, 0x31, 0xC0, 0x06, 0x48, 0x31, 0xC9, 0xE8, 0x00, 0x10, 0x00, 0x00};
    Files files(CodeImage(code, 0x8664, true), CodeImage(code, 0x8664, true));
    EXPECT_EQ(files.List(0, 0x202, 3),
              "140001000 4831c0 xor rax, rax; 140001003 06 (bad); 140001004 4831c9 xor rcx, rcx; ");
    EXPECT_EQ(files.List(1, 0x208, 1), "140001007 e800100000 call 0x000000014000200C; ");
}

TEST(CodeDecoder, DecodesEachFileThroughItsOwnHeaders) {
    // Another machine: no listing.
    {
        Files files(CodeImage(kCode32, 0xAA64), CodeImage(kCode32, 0x14C));
        EXPECT_EQ(files.List(0, 0x203, 1), "null");
        EXPECT_EQ(files.List(1, 0x203, 1), "401003 33c0 xor eax, eax; ");
    }
    // A second file that is no image is read through the first file's layout.
    {
        Bytes plain = CodeImage(kCode32);
        plain[0x80] = 'X';  // no "PE" at e_lfanew
        Files files(CodeImage(kCode32), plain);
        EXPECT_EQ(files.List(1, 0x205, 1), "401005 b001 mov al, 0x01; ");
        Files reversed(plain, CodeImage(kCode32));
        EXPECT_EQ(reversed.List(0, 0x205, 1), "null");
        EXPECT_EQ(reversed.List(1, 0x205, 1), "401005 b001 mov al, 0x01; ");
    }
    // A second image whose code lies elsewhere (its .text is 0x400 bytes long, so its data
    // section starts at 0x600): the same offset is other code there.
    {
        Files files(CodeImage(kCode32), CodeImage(kCode32, 0x14C, false, 0x400));
        EXPECT_EQ(files.List(0, 0x500, 1), "null");
        EXPECT_EQ(files.List(1, 0x500, 1), "401300 90 nop; ");
    }
}

TEST(CodeDecoder, SweepsSectionsLargerThanItsWindow) {
    // 0x12000 bytes of five-byte moves: windows of the section never end on a boundary.
    Bytes code;
    for (int k = 0; k < 0x12000 / 5; ++k) {
        code.insert(code.end(), {0xB8, 0x11, 0x22, 0x33, 0x44});
    }
    code.insert(code.end(), {0xB8, 0x11, 0x22});
    Files files(CodeImage(code, 0x14C, false, 0x12000), CodeImage(code, 0x14C, false, 0x12000));
    for (uint64_t at = 0x200; at < 0x200 + 0x11FF0; at += 2999) {
        const uint64_t start = 0x200 + (at - 0x200) / 5 * 5;
        char expected[64];
        std::snprintf(expected, sizeof expected, "%llX b811223344 mov eax, 0x44332211; ",
                      static_cast<unsigned long long>(start - 0x200 + 0x401000));
        ASSERT_EQ(files.List(0, at, 1), expected) << std::hex << at;
    }
    // The last whole instruction ends at 0x11FFD; the move after it is cut by the section's end.
    EXPECT_EQ(files.List(0, 0x200 + 0x11FFD, 1), "412FFD b8 (bad); ");
}

// The text report and JSON Lines of the sample pair, through the comparison.
TEST(CodeListingReports, ShowTheSamplePairsChangedInstruction) {
    TempDir dir;
    ComparisonOptions options;
    options.instructions = true;
    const std::string first = TANDREL_SAMPLES "/sample.exe";
    const std::string second = TANDREL_SAMPLES "/sample-patched.exe";
    const std::string report = test::FileModeReport(first, second, dir, options).report;
    const std::string end = test::kFileLineEnd;
    EXPECT_NE(report.find("33 C0 " + end + "Second file bytes: " + end + "B0 01 " + end +
                          "First file code:" + end + "40100F  33 C0  xor eax, eax" + end +
                          "Second file code:" + end + "40100F  B0 01  mov al, 0x01" + end),
              std::string::npos)
        << report;
    // The records outside code (the time stamp, the data) are as without the option.
    size_t labels = 0;
    for (size_t at = report.find("code:"); at != std::string::npos;
         at = report.find("code:", at + 1)) {
        ++labels;
    }
    EXPECT_EQ(labels, 2u) << report;

    ReportOutput output = ReportOutput::ToFile(dir.File("runs.jsonl"), true);
    JsonLinesSink sink(output);
    PeImageInfo image;
    options.imagePlaces = true;
    ASSERT_TRUE(CompareFiles(image, first.c_str(), second.c_str(), options, sink).done);
    const std::string lines = test::ReadFileText(dir.File("runs.jsonl"));
    EXPECT_NE(lines.find("\"section\":\".text\",\"field\":null,\"first_code\":[{\"rva\":\"0x100f\","
                         "\"bytes\":\"33c0\",\"text\":\"xor eax, eax\"}],\"second_code\":[{\"rva\":"
                         "\"0x100f\",\"bytes\":\"b001\",\"text\":\"mov al, 0x01\"}]}\n"),
              std::string::npos)
        << lines;
    EXPECT_NE(lines.find("\"section\":\".data\",\"field\":null,\"first_code\":null,"
                         "\"second_code\":null}\n"),
              std::string::npos)
        << lines;
}

}  // namespace
}  // namespace tandrel
