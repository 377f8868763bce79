// The length of the commonest x86 instructions, found from their opcode and addressing bytes
// alone: a linear sweep over a code section spends most of its time on these, and a full
// decoder walks its tables for each.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tandrel {

// The length of the instruction at bytes (count of them readable) in 32-bit or 64-bit code, when
// it is one of the forms this knows (no prefix but an operand-size one and, in 64-bit code, REX;
// opcodes every operand of which is valid); 0 for every other instruction, which the full
// decoder then reads. Never a length the full decoder would not find.
size_t QuickInstructionLength(const uint8_t* bytes, size_t count, bool x64);

}  // namespace tandrel
