#include "engine/code_decoder.h"

#include <gtest/gtest.h>

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

// Each instruction as "VA bytes text"; "null" for no listing.
std::string Listed(bool found, const CodeListing& code) {
    if (!found) {
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
        const bool found = decoder.Find(side, offset, length, code);
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
        ASSERT_EQ(files.List(0, at, 1), test::Formatted("%llX", start - 0x200 + 0x401000) +
                                            " b811223344 mov eax, 0x44332211; ")
            << std::hex << at;
    }
    // One run over the whole section lists every instruction, one at a time.
    CodeListing whole;
    ASSERT_TRUE(files.decoder.Find(1, 0x200, 0x12000, whole));
    size_t count = 0;
    uint64_t last = 0;
    whole.ForEach([&](const Instruction& instruction) {
        ++count;
        last = instruction.offset;
        return true;
    });
    EXPECT_EQ(count, 14747u);  // 14,745 moves, then B8 alone (bad) and 11 22 (adc)
    EXPECT_EQ(last, 0x200u + 0x11FFEu);
    // The last whole instruction ends at 0x11FFD; the move after it is cut by the section's end.
    EXPECT_EQ(files.List(0, 0x200 + 0x11FFD, 1), "412FFD b8 (bad); ");
}

TEST(CodeListingReports, SayNoneForASideOutsideCode) {
    TempDir dir;
    Bytes changed = CodeImage(kCode32);
    changed[0x203] = 0x31;  // xor eax, eax spelt 31 C0
    const std::string first = dir.Write("arm.exe", CodeImage(kCode32, 0xAA64));
    const std::string second = dir.Write("x86.exe", changed);
    ComparisonOptions options;
    options.instructions = true;
    const std::string report = test::FileModeReport(first, second, dir, options).report;
    const std::string end = test::kFileLineEnd;
    EXPECT_NE(report.find("33 " + end + "Second file bytes: " + end + "31 " + end +
                          "First file code: none" + end + "Second file code:" + end +
                          "401003  31 C0  xor eax, eax" + end),
              std::string::npos)
        << report;
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
struct Disassembled {
    std::string bytes;
    std::string mnemonic;
    std::string operands;
};

std::string Run(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r"); pipe != nullptr) {
        char buffer[4096];
        for (size_t got; (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
            out.append(buffer, got);
        }
        pclose(pipe);
    }
    return out;
}

// `objdump -d -M intel` of a file, by address.
std::map<uint64_t, Disassembled> Objdump(const char* objdump, const std::string& path) {
    std::map<uint64_t, Disassembled> lines;
    const std::regex line(R"(^ *([0-9a-f]+):\t([0-9a-f ]+?) *(\t(\S+) *(.*))?$)");
    std::istringstream text(Run(std::string(objdump) + " -d -M intel '" + path + "'"));
    uint64_t last = 0;
    for (std::string row; std::getline(text, row);) {
        std::smatch m;
        if (!std::regex_match(row, m, line)) {
            continue;
        }
        std::string bytes = std::regex_replace(m[2].str(), std::regex(" "), "");
        if (!m[3].matched) {  // the rest of a long instruction's bytes
            lines[last].bytes += bytes;
            continue;
        }
        last = std::stoull(m[1].str(), nullptr, 16);
        lines[last] = {bytes, m[4].str(), m[5].str()};
    }
    return lines;
}

// The file offset of a section's VMA, from `objdump -h`.
uint64_t SectionOffset(const char* objdump, const std::string& path, const std::string& name,
                       uint64_t& vma) {
    const std::regex line(" *[0-9]+ " + name +
                          R"( +[0-9a-f]+ +([0-9a-f]+) +[0-9a-f]+ +([0-9a-f]+) .*)");
    std::istringstream text(Run(std::string(objdump) + " -h '" + path + "'"));
    for (std::string row; std::getline(text, row);) {
        std::smatch m;
        if (std::regex_match(row, m, line)) {
            vma = std::stoull(m[1].str(), nullptr, 16);
            return std::stoull(m[2].str(), nullptr, 16);
        }
    }
    ADD_FAILURE() << "no " << name << " in " << path;
    return 0;
}

// objdump's mnemonic as the library spells it: the condition codes' usual aliases.
std::string LibraryMnemonic(const std::string& name) {
    static const std::map<std::string, std::string> aliases = {
        {"je", "jz"},   {"jne", "jnz"}, {"jae", "jnb"}, {"ja", "jnbe"},
        {"jg", "jnle"}, {"jge", "jnl"}, {"jnae", "jb"}, {"jc", "jb"},
        {"jnc", "jnb"}, {"jna", "jbe"}, {"jpe", "jp"},  {"jpo", "jnp"}};
    const auto alias = aliases.find(name);
    return alias != aliases.end() ? alias->second : name;
}

struct JsonInstruction {
    uint64_t rva;
    std::string bytes;
    std::string text;
};

// The instructions of one side of a JSON Lines run; none for null.
std::vector<JsonInstruction> CodeOf(const std::string& row, const std::string& key) {
    std::vector<JsonInstruction> listed;
    const size_t at = row.find("\"" + key + "\":[");
    if (at == std::string::npos) {
        return listed;
    }
    const std::string array = row.substr(at, row.find(']', at) - at);
    const std::regex item(
        R"re(\{"rva":"0x([0-9a-f]+)","bytes":"([0-9a-f]+)","text":"([^"]*)"\})re");
    for (std::sregex_iterator m(array.begin(), array.end(), item), end; m != end; ++m) {
        listed.push_back({std::stoull((*m)[1].str(), nullptr, 16), (*m)[2].str(), (*m)[3].str()});
    }
    return listed;
}

uint64_t HexField(const std::string& row, const std::string& key) {
    std::smatch m;
    EXPECT_TRUE(std::regex_search(row, m, std::regex("\"" + key + "\":\"0x([0-9a-f]+)\"")));
    return m.empty() ? 0 : std::stoull(m[1].str(), nullptr, 16);
}

// In a copy of each real image: the immediate of the compare before the first conditional jump
// and the jump's condition (one run across their boundary), the first call made NOPs, the first
// byte objdump cannot decode changed to another that does not decode either, and the first byte
// of .data. Every instruction listed matches objdump's listing of its file: the same boundaries and
// bytes, the same mnemonic up to the usual aliases, the same branch target.
void MatchObjdumpOnRealImages() {
    const std::pair<const char*, const char*> kinds[] = {{"code32.exe", TANDREL_OBJDUMP_32},
                                                         {"code64.exe", TANDREL_OBJDUMP_64}};
    for (const auto& [name, objdump] : kinds) {
        SCOPED_TRACE(name);
        TempDir dir;
        const std::string first = std::string(TANDREL_CODE_IMAGES "/") + name;
        const auto original = Objdump(objdump, first);
        uint64_t textVma = 0;
        uint64_t dataVma = 0;
        const uint64_t textOffset = SectionOffset(objdump, first, ".text", textVma);
        const uint64_t dataOffset = SectionOffset(objdump, first, ".data", dataVma);
        uint64_t jump = 0;
        uint64_t call = 0;
        uint64_t bad = 0;
        for (const auto& [va, line] : original) {
            if (jump == 0 && line.mnemonic[0] == 'j' && line.mnemonic != "jmp") {
                jump = va;
            } else if (call == 0 && line.mnemonic == "call") {
                call = va;
            } else if (bad == 0 && line.mnemonic == "(bad)") {
                bad = va;
            }
        }
        ASSERT_NE(jump, 0u);
        ASSERT_NE(call, 0u);
        ASSERT_NE(bad, 0u);
        Bytes changed = test::ReadBytes(first);
        auto at = [&](uint64_t va) -> uint8_t& { return changed[textOffset + va - textVma]; };
        at(jump - 1) ^= 0x0F;  // cmp edx, 7 becomes cmp edx, 8
        // The condition inverted: the low bit of 7x, or of 0F 8x.
        at(original.at(jump).bytes.size() == 4 ? jump : jump + 1) ^= 1;
        for (size_t k = 0; k < original.at(call).bytes.size() / 2; ++k) {
            at(call + k) = 0x90;
        }
        at(bad) = 0xFE;  // FE FF does not decode either
        changed[dataOffset] ^= 0x0E;
        const std::string second = dir.Write("changed.exe", changed);
        const auto patched = Objdump(objdump, second);

        ReportOutput output = ReportOutput::ToFile(dir.File("runs.jsonl"), true);
        JsonLinesSink sink(output);
        ComparisonOptions options;
        options.instructions = true;
        options.imagePlaces = true;
        ASSERT_TRUE(CompareInto(first.c_str(), second.c_str(), options, sink, output).done);
        std::istringstream rows(test::ReadFileText(dir.File("runs.jsonl")));
        std::string mnemonics;  // each side's, a side ending with "|"
        std::string lastRun;
        for (std::string row; std::getline(rows, row);) {
            if (row.find("\"type\":\"run\"") == std::string::npos) {
                continue;
            }
            lastRun = row;
            const uint64_t vaMinusRva = row.find("\"rva\":null") == std::string::npos
                                            ? HexField(row, "va") - HexField(row, "rva")
                                            : 0;
            for (const auto& [key, listing] :
                 {std::pair{"first_code", &original}, std::pair{"second_code", &patched}}) {
                for (const JsonInstruction& item : CodeOf(row, key)) {
                    const uint64_t va = vaMinusRva + item.rva;
                    ASSERT_EQ(listing->count(va), 1u) << std::hex << va << " " << item.text;
                    const Disassembled& line = listing->at(va);
                    EXPECT_EQ(item.bytes, line.bytes) << std::hex << va;
                    const std::string mnemonic = item.text.substr(0, item.text.find(' '));
                    EXPECT_EQ(mnemonic, LibraryMnemonic(line.mnemonic)) << std::hex << va;
                    mnemonics += mnemonic + ";";
                    if (line.mnemonic[0] == 'j' || line.mnemonic == "call") {
                        EXPECT_EQ(
                            std::stoull(item.text.substr(item.text.find(' ') + 1), nullptr, 16),
                            std::stoull(line.operands, nullptr, 16));
                    }
                }
                mnemonics += "|";
            }
        }
        // The compare and the jump, the call, the byte that does not decode, the data.
        EXPECT_EQ(mnemonics, "cmp;jnz;|cmp;jz;|call;|nop;nop;nop;nop;nop;|(bad);|(bad);|||");
        EXPECT_NE(lastRun.find("\"section\":\".data\",\"field\":null,\"first_code\":null,"
                               "\"second_code\":null}"),
                  std::string::npos)
            << lastRun;
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
