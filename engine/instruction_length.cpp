#include "engine/instruction_length.h"

#include <array>

namespace tandrel {
namespace {

// What follows an opcode this knows.
enum Form : uint8_t {
    kUnknown,
    kPlain,          // nothing
    kImm8,           // an 8-bit immediate or displacement
    kImm16,          // a 16-bit immediate
    kImmFull,        // 32 bits, 16 with the operand-size prefix
    kRel32,          // 32 bits, no operand-size prefix allowed
    kModRm,          // ModRM and its addressing bytes
    kModRmImm8,      // ModRM, then an 8-bit immediate
    kModRmImmFull,   // ModRM, then 32 bits (16 with the operand-size prefix)
    kModRmMemory,    // ModRM naming memory only (lea)
    kModRmReg0Imm8,  // ModRM whose reg field is 0, then an 8-bit immediate
    kModRmReg0Full,  // ModRM whose reg field is 0, then 32 bits (16 with the prefix)
    kMovImm,         // 32 bits; 16 with the prefix; 64 with REX.W
    kTwoByte,        // 0F: the next byte decides
};

// Operand-size prefix allowed for the form.
constexpr bool TakesOperandSize(Form form) {
    return form == kImmFull || form == kModRm || form == kModRmImm8 || form == kModRmImmFull ||
           form == kModRmReg0Full || form == kMovImm;
}

constexpr std::array<Form, 256> OneByteForms() {
    std::array<Form, 256> forms{};
    for (int base = 0x00; base <= 0x38; base += 8) {  // add, or, adc, sbb, and, sub, xor, cmp
        for (int k = 0; k < 4; ++k) {
            forms[base + k] = kModRm;
        }
        forms[base + 4] = kImm8;
        forms[base + 5] = kImmFull;
    }
    for (int k = 0x50; k <= 0x5F; ++k) {
        forms[k] = kPlain;  // push, pop
    }
    forms[0x68] = kImmFull;
    forms[0x69] = kModRmImmFull;
    forms[0x6A] = kImm8;
    forms[0x6B] = kModRmImm8;
    for (int k = 0x70; k <= 0x7F; ++k) {
        forms[k] = kImm8;  // jcc rel8
    }
    forms[0x80] = kModRmImm8;
    forms[0x81] = kModRmImmFull;
    forms[0x83] = kModRmImm8;
    for (int k = 0x84; k <= 0x8B; ++k) {
        forms[k] = kModRm;  // test, xchg, mov
    }
    forms[0x8D] = kModRmMemory;
    forms[0x90] = kPlain;
    forms[0x98] = kPlain;
    forms[0x99] = kPlain;
    forms[0xA8] = kImm8;
    forms[0xA9] = kImmFull;
    for (int k = 0xB0; k <= 0xB7; ++k) {
        forms[k] = kImm8;
    }
    for (int k = 0xB8; k <= 0xBF; ++k) {
        forms[k] = kMovImm;
    }
    forms[0xC2] = kImm16;
    forms[0xC3] = kPlain;
    forms[0xC6] = kModRmReg0Imm8;
    forms[0xC7] = kModRmReg0Full;
    forms[0xC9] = kPlain;
    forms[0xCC] = kPlain;
    forms[0xE8] = kRel32;
    forms[0xE9] = kRel32;
    forms[0xEB] = kImm8;
    forms[0x0F] = kTwoByte;
    return forms;
}

constexpr std::array<Form, 256> TwoByteForms() {
    std::array<Form, 256> forms{};
    for (int k = 0x40; k <= 0x4F; ++k) {
        forms[k] = kModRm;  // cmovcc
    }
    for (int k = 0x80; k <= 0x8F; ++k) {
        forms[k] = kRel32;  // jcc rel32
    }
    forms[0xAF] = kModRm;  // imul
    forms[0xB6] = kModRm;  // movzx, movsx
    forms[0xB7] = kModRm;
    forms[0xBE] = kModRm;
    forms[0xBF] = kModRm;
    return forms;
}

constexpr std::array<Form, 256> kOneByteForms = OneByteForms();
constexpr std::array<Form, 256> kTwoByteForms = TwoByteForms();

// The ModRM byte's length with its SIB byte and displacement (32-bit or 64-bit addressing).
size_t AddressingLength(const uint8_t* bytes, size_t count) {
    if (count < 1) {
        return 0;
    }
    const uint8_t modRm = bytes[0];
    const int mod = modRm >> 6;
    const int rm = modRm & 7;
    if (mod == 3) {
        return 1;
    }
    size_t length = 1;
    if (rm == 4) {
        if (count < 2) {
            return 0;
        }
        ++length;
        if (mod == 0 && (bytes[1] & 7) == 5) {
            return length + 4;
        }
    } else if (mod == 0 && rm == 5) {
        return length + 4;
    }
    return length + (mod == 1 ? 1 : mod == 2 ? 4 : 0);
}

}  // namespace

size_t QuickInstructionLength(const uint8_t* bytes, size_t count, bool x64) {
    size_t at = 0;
    bool operandSize = false;
    bool rexW = false;
    if (at < count && bytes[at] == 0x66) {
        operandSize = true;
        ++at;
    }
    if (x64 && at < count && (bytes[at] & 0xF0) == 0x40) {
        rexW = (bytes[at] & 8) != 0;
        ++at;
    }
    if (at >= count) {
        return 0;
    }
    const uint8_t opcode = bytes[at++];
    Form form = kOneByteForms[opcode];
    if (!x64 && opcode >= 0x40 && opcode <= 0x4F) {
        form = kPlain;  // inc, dec
    }
    if (form == kTwoByte) {
        if (at >= count) {
            return 0;
        }
        form = kTwoByteForms[bytes[at++]];
    }
    if (form == kUnknown || (operandSize && !TakesOperandSize(form))) {
        return 0;
    }
    // A 64-bit operand size wins over the prefix; only a move takes a 64-bit immediate.
    const size_t full = rexW ? 4 : operandSize ? 2 : 4;
    size_t tail = 0;
    switch (form) {
        case kPlain:
            break;
        case kImm8:
            tail = 1;
            break;
        case kImm16:
            tail = 2;
            break;
        case kImmFull:
            tail = full;
            break;
        case kRel32:
            tail = 4;
            break;
        case kMovImm:
            tail = rexW ? 8 : full;
            break;
        default: {
            const size_t addressing = AddressingLength(bytes + at, count - at);
            if (addressing == 0) {
                return 0;
            }
            const uint8_t modRm = bytes[at];
            if ((form == kModRmMemory && modRm >> 6 == 3) ||
                ((form == kModRmReg0Imm8 || form == kModRmReg0Full) && (modRm & 0x38) != 0)) {
                return 0;
            }
            tail = addressing + (form == kModRmImm8 || form == kModRmReg0Imm8      ? 1
                                 : form == kModRmImmFull || form == kModRmReg0Full ? full
                                                                                   : 0);
        }
    }
    const size_t length = at + tail;
    return length <= count ? length : 0;
}

}  // namespace tandrel
