#include "engine/instruction_length.h"

#include <Zydis/Zydis.h>
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace tandrel {
namespace {

// The quick lengths against the library's decoder, on byte strings made to start with the
// prefixes and opcodes the quick path knows (and some it does not): wherever it gives a length,
// the library decodes an instruction of that length.
TEST(QuickInstructionLength, AgreesWithTheFullDecoder) {
    std::mt19937 random(20261208);
    const uint8_t leads[] = {0x66, 0x40, 0x41, 0x44, 0x48, 0x4C, 0x4F, 0x0F, 0xF0, 0xF3, 0x67};
    size_t known = 0;
    for (const bool x64 : {false, true}) {
        ZydisDecoder decoder;
        ZydisDecoderInit(&decoder, x64 ? ZYDIS_MACHINE_MODE_LONG_64 : ZYDIS_MACHINE_MODE_LEGACY_32,
                         x64 ? ZYDIS_STACK_WIDTH_64 : ZYDIS_STACK_WIDTH_32);
        for (int round = 0; round < 400000; ++round) {
            uint8_t bytes[15];
            for (uint8_t& byte : bytes) {
                byte = static_cast<uint8_t>(random());
            }
            // Prefixes in front of half of them, and every length cut short now and then.
            for (int k = 0; k < 2 && random() % 2 == 0; ++k) {
                bytes[k] = leads[random() % sizeof leads];
            }
            const size_t count = random() % 8 == 0 ? 1 + random() % 15 : 15;
            const size_t quick = QuickInstructionLength(bytes, count, x64);
            ZydisDecodedInstruction instruction;
            ZydisDecoderContext context;
            known += quick != 0;
            ASSERT_TRUE(quick == 0 || (ZYAN_SUCCESS(ZydisDecoderDecodeInstruction(
                                           &decoder, &context, bytes, count, &instruction)) &&
                                       quick == instruction.length))
                << x64 << testing::PrintToString(std::vector<int>(bytes, bytes + 4));
        }
    }
    // The quick path is taken for a good share: otherwise it saves nothing.
    EXPECT_GT(known, 200000u);
}

// "bits bytes length", length 0 where the quick path leaves the bytes to the library.
TEST(QuickInstructionLength, KnowsTheCommonForms) {
    // push ebp; mov ebp, esp; mov eax, [esp+8]; SIB with no base; rip-relative; sub rsp, imm32;
    // cmp cx, imm16; mov rax, imm64; jnz rel32; lea of a register; C7 /1; pause (a prefix);
    // inc eax; REX nop; a call cut short.
    for (const std::string row :
         {"32 55 1", "32 8BEC 2", "32 8B442408 4", "64 8B042501020304 7", "64 8B0501020304 6",
          "64 4881EC28010000 7", "32 6681F93412 5", "64 48B80102030405060708 10",
          "64 0F8501020304 6", "64 488DC0 0", "32 C7C801020304 0", "32 F390 0", "32 40 1",
          "64 4090 2", "32 E8010203 0"}) {
        std::vector<uint8_t> bytes;
        for (size_t k = 3; row[k] != ' '; k += 2) {
            bytes.push_back(static_cast<uint8_t>(std::stoi(row.substr(k, 2), nullptr, 16)));
        }
        EXPECT_EQ(QuickInstructionLength(bytes.data(), bytes.size(), row[0] == '6'),
                  std::stoul(row.substr(row.rfind(' '))))
            << row;
    }
}

}  // namespace
}  // namespace tandrel
