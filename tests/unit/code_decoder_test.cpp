#include "engine/code_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <map>
#include <regex>
#include <sstream>

#include "engine/comparison.h"
#include "formats/json_lines.h"
#include "formats/opening_sink.h"
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
    // Each instruction of a run as "VA bytes text; "; "null" for no listing.
    std::string List(int side, uint64_t offset, size_t length) {
        CodeListing code;
        if (!decoder.Find(side, offset, length, code)) {
            return "null";
        }
        std::string text;
        code.ForEach([&text](const Instruction& instruction) {
            text += test::Formatted("%llX ", instruction.va);
            for (size_t k = 0; k < instruction.length; ++k) {
                text += test::Formatted("%02x", instruction.bytes[k]);
            }
            text += " " + std::string(instruction.Text()) + "; ";
            return true;
        });
        return text;
    }
};

// Each row asks one decoder over two files for runs in turn, each "side offset length: listing".
TEST(CodeDecoder, ListsTheInstructionsThatOverlapARun) {
    const Bytes image = CodeImage(kCode32);
    Bytes plain = image;
    plain[0x80] = 'X';  // no "PE" at e_lfanew
    // 0x06 (push es) does not exist in 64-bit code; the sweep goes on with the next byte.
    const Bytes code64 = CodeImage(
        {0x48, 0x31, 0xC0, 0x06, 0x48, 0x31, 0xC9, 0xE8, 0x00, 0x10, 0x00, 0x00}, 0x8664, true);
    const struct {
        Bytes first;
        Bytes second;
        std::vector<const char*> asked;
    } rows[] = {
        {image,
         image,
         {// Inside an instruction: the whole instruction, from where the sweep put its start.
          "0 202 1: 401001 8bec mov ebp, esp; ",
          // Across a boundary: both instructions; relative targets as VAs.
          "0 204 2: 401003 33c0 xor eax, eax; 401005 b001 mov al, 0x01; ",
          "0 208 1: 401007 7510 jnz 0x00401019; ", "0 20A 3: 401009 e800010000 call 0x0040110E; ",
          // Headers and data sections hold no code; a run from code into data lists its code.
          "0 10 4: null", "0 400 2: null", "0 3FF 2: 4011FF 97 xchg edi, eax; ",
          // A run starting inside the last run's last instruction, one before the last one
          // asked for (the section swept again), and each side with its own sweep.
          "0 203 3: 401003 33c0 xor eax, eax; 401005 b001 mov al, 0x01; ",
          "0 206 1: 401005 b001 mov al, 0x01; ", "0 200 1: 401000 55 push ebp; ",
          "1 20E 1: 40100E c3 ret; ", "0 201 1: 401001 8bec mov ebp, esp; "}},
        {code64,
         code64,
         {"0 202 3: 140001000 4831c0 xor rax, rax; 140001003 06 (bad); 140001004 4831c9 xor rcx, "
          "rcx; ",
          "1 208 1: 140001007 e800100000 call 0x000000014000200C; "}},
        // Each file through its own headers: another machine has no listing; a file that is no
        // image is read through the other's layout; an image whose .text is 0x400 bytes long
        // has other code at the same offset.
        {CodeImage(kCode32, 0xAA64),
         image,
         {"0 203 1: null", "1 203 1: 401003 33c0 xor eax, eax; "}},
        {image, plain, {"1 205 1: 401005 b001 mov al, 0x01; "}},
        {plain, image, {"0 205 1: null", "1 205 1: 401005 b001 mov al, 0x01; "}},
        {image,
         CodeImage(kCode32, 0x14C, false, 0x400),
         {"0 500 1: null", "1 500 1: 401300 90 nop; "}},
    };
    for (const auto& row : rows) {
        Files files(row.first, row.second);
        for (const std::string asked : row.asked) {
            int side = 0;
            uint64_t offset = 0;
            size_t length = 0;
            std::istringstream(asked) >> side >> std::hex >> offset >> length;
            EXPECT_EQ(files.List(side, offset, length), asked.substr(asked.find(": ") + 2))
                << asked;
        }
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
        ASSERT_EQ(files.List(0, at, 1), test::Formatted("%llX", start - 0x200 + 0x401000) +
                                            " b811223344 mov eax, 0x44332211; ")
            << std::hex << at;
    }
    // One run over the whole section lists every instruction, one at a time: 14,745 moves, then
    // B8 alone (bad), cut by the section's end, and 11 22.
    const std::string whole = files.List(1, 0x200, 0x12000);
    EXPECT_EQ(std::count(whole.begin(), whole.end(), ';'), 14747);
    EXPECT_TRUE(whole.ends_with(
        "412FF8 b811223344 mov eax, 0x44332211; 412FFD b8 (bad); 412FFE 1122 adc [edx], esp; "))
        << whole.substr(whole.size() - 200);
}

// The text report and JSON Lines through the comparison: the sample pair's changed instruction,
// and "none" for a side outside code.
TEST(CodeListingReports, ShowEachSidesCode) {
    TempDir dir;
    ComparisonOptions options;
    options.instructions = true;
    const std::string end = test::kFileLineEnd;
    Bytes changed = CodeImage(kCode32);
    changed[0x203] = 0x31;  // xor eax, eax spelt 31 C0
    EXPECT_NE(test::FileModeReport(dir.Write("arm.exe", CodeImage(kCode32, 0xAA64)),
                                   dir.Write("x86.exe", changed), dir, options)
                  .report.find("33 " + end + "Second file bytes: " + end + "31 " + end +
                               "First file code: none" + end + "Second file code:" + end +
                               "401003  31 C0  xor eax, eax" + end),
              std::string::npos);
    const std::string first = TANDREL_SAMPLES "/sample.exe";
    const std::string second = TANDREL_SAMPLES "/sample-patched.exe";
    const std::string report = test::FileModeReport(first, second, dir, options).report;
    EXPECT_NE(report.find("33 C0 " + end + "Second file bytes: " + end + "B0 01 " + end +
                          "First file code:" + end + "40100F  33 C0  xor eax, eax" + end +
                          "Second file code:" + end + "40100F  B0 01  mov al, 0x01" + end),
              std::string::npos)
        << report;
    // The records outside code (the time stamp, the data) are as without the option.
    const std::regex label("code:");
    EXPECT_EQ(std::distance(std::sregex_iterator(report.begin(), report.end(), label), {}), 2)
        << report;

    ReportOutput output = ReportOutput::ToFile(dir.File("runs.jsonl"), true);
    JsonLinesSink sink(output);
    options.imagePlaces = true;
    ASSERT_TRUE(CompareInto(first.c_str(), second.c_str(), options, sink, output).done);
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

#if defined(TANDREL_CODE_IMAGES) && defined(TANDREL_OBJDUMP_32)
uint64_t Hex(const std::string& text) {
    return std::stoull(text, nullptr, 16);
}

// `objdump -h -d -M intel` of a file: each instruction as {"8B EC ", mnemonic, operands} by VA,
// and each section's {VMA, file offset}.
struct Objdump {
    std::map<uint64_t, std::array<std::string, 3>> code;
    std::map<std::string, std::array<uint64_t, 2>> sections;

    Objdump(const char* tool, const std::string& path) {
        std::string out;
        FILE* pipe = popen((std::string(tool) + " -h -d -M intel '" + path + "'").c_str(), "r");
        for (int c; pipe != nullptr && (c = fgetc(pipe)) != EOF;) {
            out += static_cast<char>(c);
        }
        EXPECT_TRUE(pipe != nullptr && pclose(pipe) == 0) << path;
        const std::regex section(
            R"( *[0-9]+ (\.\w+) +[0-9a-f]+ +([0-9a-f]+) +[0-9a-f]+ +([0-9a-f]+) .*)");
        const std::regex line(R"( *([0-9a-f]+):\t([0-9a-f ]+?) *(\t(\S+) *(.*))?)");
        std::istringstream text(out);
        uint64_t last = 0;
        std::smatch m;
        for (std::string row; std::getline(text, row);) {
            if (std::regex_match(row, m, section)) {
                sections[m[1]] = {Hex(m[2]), Hex(m[3])};
            } else if (std::regex_match(row, m, line)) {
                std::string bytes = m[2].str() + " ";
                std::transform(bytes.begin(), bytes.end(), bytes.begin(), ::toupper);
                if (!m[3].matched) {  // the rest of a long instruction's bytes
                    code[last][0] += bytes;
                } else {
                    code[last = Hex(m[1])] = {bytes, m[4], m[5]};
                }
            }
        }
    }
};

// In a copy of each real image: the immediate of the compare before the first conditional jump
// and the jump's condition (one run across their boundary), the first call made NOPs, the first
// byte objdump cannot decode changed to another that does not decode either, and the first byte
// of .data. Every instruction the report lists matches objdump's listing of its file: the same
// VA and bytes, the same mnemonic up to the usual aliases, the same branch target.
void MatchObjdumpOnRealImages() {
    const std::map<std::string, std::string> aliases = {{"je", "jz"},   {"jne", "jnz"},
                                                        {"jae", "jnb"}, {"ja", "jnbe"},
                                                        {"jge", "jnl"}, {"jg", "jnle"}};
    for (const auto& [name, tool] : {std::pair{"code32.exe", TANDREL_OBJDUMP_32},
                                     std::pair{"code64.exe", TANDREL_OBJDUMP_64}}) {
        SCOPED_TRACE(name);
        TempDir dir;
        const std::string first = std::string(TANDREL_CODE_IMAGES "/") + name;
        const Objdump original(tool, first);
        uint64_t jump = 0, call = 0, bad = 0;
        for (const auto& [va, line] : original.code) {
            const std::string& op = line[1];
            uint64_t& found = op == "call" ? call : op == "(bad)" ? bad : jump;
            if (found == 0 && (&found != &jump || (op[0] == 'j' && op != "jmp"))) {
                found = va;
            }
        }
        ASSERT_TRUE(jump != 0 && call != 0 && bad != 0);
        Bytes changed = test::ReadBytes(first);
        const auto [textVma, textOffset] = original.sections.at(".text");
        auto at = [&](uint64_t va) -> uint8_t& { return changed[textOffset + va - textVma]; };
        at(jump - 1) ^= 0x0F;  // cmp edx, 7 becomes cmp edx, 8
        // The condition inverted: the low bit of 7x, or of 0F 8x.
        at(original.code.at(jump)[0].size() == 6 ? jump : jump + 1) ^= 1;
        for (size_t k = 0; k < original.code.at(call)[0].size() / 3; ++k) {
            at(call + k) = 0x90;
        }
        at(bad) = 0xFE;  // FE FF does not decode either
        changed[original.sections.at(".data")[1]] ^= 0x0E;
        const std::string second = dir.Write("changed.exe", changed);
        const Objdump patched(tool, second);

        ComparisonOptions options;
        options.instructions = true;
        std::istringstream report(test::FileModeReport(first, second, dir, options).report);
        const std::regex listed(R"(([0-9A-F]+)  ((?:[0-9A-F]{2} )+) (\S+) ?(.*))");
        const Objdump* side = &original;
        std::string mnemonics;  // "/" before each run, "|" before each side's listing
        std::smatch m;
        for (std::string row; std::getline(report, row);) {
            if (row.starts_with("File offset = ")) {
                mnemonics += "/";
            } else if (row.find("file code:") != std::string::npos) {
                mnemonics += "|";
                side = row.starts_with("First") ? &original : &patched;
            } else if (std::regex_match(row, m, listed)) {
                ASSERT_EQ(side->code.count(Hex(m[1])), 1u) << row;
                const auto& [bytes, op, operands] = side->code.at(Hex(m[1]));
                EXPECT_EQ(m[2], bytes) << row;
                EXPECT_EQ(m[3], aliases.contains(op) ? aliases.at(op) : op) << row;
                if (op[0] == 'j' || op == "call") {
                    EXPECT_EQ(Hex(m[4]), Hex(operands)) << row;
                }
                mnemonics += m[3].str() + ";";
            }
        }
        // The compare and the jump, the call, the byte that does not decode; no code in .data.
        EXPECT_EQ(mnemonics, "/|cmp;jnz;|cmp;jz;/|call;|nop;nop;nop;nop;nop;/|(bad);|(bad);/");
    }
}
#endif

TEST(CodeListingReports, MatchObjdumpOnRealImages) {
#if defined(TANDREL_CODE_IMAGES) && defined(TANDREL_OBJDUMP_32)
    MatchObjdumpOnRealImages();
#else
    GTEST_SKIP() << "needs objdump and the mingw-w64 images on the build machine; "
                    "scripts/test-windows.sh compares the Windows reports with the native ones";
#endif
}

}  // namespace
}  // namespace tandrel
