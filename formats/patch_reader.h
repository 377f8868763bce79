// The two patch formats that carry the old bytes, read into byte changes: the disassembler's
// `dif` (file offsets) and the debugger's `1337` (RVAs, by module).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tandrel {

enum class PatchFormat { kDif, k1337 };

struct ByteChange {
    uint64_t address = 0;  // a file offset (dif) or an RVA (1337)
    uint32_t line = 0;     // where the record stands in the patch, from 1
    uint8_t oldByte = 0;
    uint8_t newByte = 0;
};

struct PatchModule {
    std::string name;                 // the text after `>`; empty in a dif
    std::vector<ByteChange> changes;  // sorted by address, one record an address
};

struct Patch {
    PatchFormat format = PatchFormat::kDif;
    std::vector<PatchModule> modules;  // a dif has exactly one
};

struct PatchRefusal {
    uint32_t line = 0;  // 0 when the refusal concerns no one line
    std::string reason;
};

// The largest patch text read: a dif line of a byte takes at least 6 characters, so this is
// well past any patch of a file that a 32-bit PE can be, and it keeps line numbers in 32 bits.
inline constexpr uint64_t kPatchTextLimit = 1073741824;

// Reads a dif or a 1337 patch, deciding which from the content: the first line that is a record
// of either grammar names the format; with none, a `>` line means 1337 (whose lines are then
// refused one by one), else the text holds no record. A text that starts "PATCH" and ends with
// "EOF" (and perhaps a 3-byte size) is an IPS patch, refused since it carries no old bytes. Returns
// false with refusal set and patch empty; text must be shorter than kPatchTextLimit.
bool ReadPatch(std::string_view text, Patch& patch, PatchRefusal& refusal);

// An offset or RVA as the messages show it: upper-case hex without leading zeros ("1428").
std::string HexText(uint64_t value);

}  // namespace tandrel
