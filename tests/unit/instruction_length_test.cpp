#include "engine/instruction_length.h"

#include <Zydis/Zydis.h>
#include <gtest/gtest.h>

#include <random>

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
            if (quick == 0) {
                continue;
            }
            ++known;
            ZydisDecodedInstruction instruction;
            ZydisDecoderContext context;
            const bool decoded = ZYAN_SUCCESS(
                ZydisDecoderDecodeInstruction(&decoder, &context, bytes, count, &instruction));
            ASSERT_TRUE(decoded) << x64 << " " << std::hex << int{bytes[0]} << " " << int{bytes[1]}
                                 << " " << int{bytes[2]} << " " << int{bytes[3]};
            ASSERT_EQ(quick, instruction.length)
                << x64 << " " << std::hex << int{bytes[0]} << " " << int{bytes[1]} << " "
                << int{bytes[2]} << " " << int{bytes[3]};
        }
    }
    // The quick path is taken for a good share: otherwise it saves nothing.
    EXPECT_GT(known, 200000u);
}

TEST(QuickInstructionLength, KnowsTheCommonForms) {
    const struct {
        std::vector<uint8_t> bytes;
        bool x64;
        size_t length;
    } cases[] = {
        {{0x55}, false, 1},                                // push ebp
        {{0x8B, 0xEC}, false, 2},                          // mov ebp, esp
        {{0x8B, 0x44, 0x24, 0x08}, false, 4},              // mov eax, [esp+8]
        {{0x8B, 0x04, 0x25, 1, 2, 3, 4}, true, 7},         // SIB, no base
        {{0x8B, 0x05, 1, 2, 3, 4}, true, 6},               // rip-relative
        {{0x48, 0x81, 0xEC, 0x28, 1, 0, 0}, true, 7},      // sub rsp, imm32
        {{0x66, 0x81, 0xF9, 0x34, 0x12}, false, 5},        // cmp cx, imm16
        {{0x48, 0xB8, 1, 2, 3, 4, 5, 6, 7, 8}, true, 10},  // mov rax, imm64
        {{0x0F, 0x85, 1, 2, 3, 4}, true, 6},               // jnz rel32
        {{0x48, 0x8D, 0xC0}, true, 0},                     // lea, register
        {{0xC7, 0xC8, 1, 2, 3, 4}, false, 0},              // C7 /1
        {{0xF3, 0x90}, false, 0},                          // pause: a prefix
        {{0x40}, false, 1},                                // inc eax
        {{0x40, 0x90}, true, 2},                           // REX nop
        {{0xE8, 1, 2, 3}, false, 0},                       // cut short
    };
    for (const auto& c : cases) {
        EXPECT_EQ(QuickInstructionLength(c.bytes.data(), c.bytes.size(), c.x64), c.length)
            << std::hex << int{c.bytes[0]};
    }
}

}  // namespace
}  // namespace tandrel
