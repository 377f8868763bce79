// The two patch formats that carry the old bytes, read into byte changes: `dif`, a line
// `OFFSET: OLD NEW` a byte by file offset after a short header, and `1337`, `>MODULE` lines each
// followed by lines `RVA:OLD->NEW`.
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

    bool operator==(const ByteChange&) const = default;
};

struct PatchModule {
    std::string name;                 // the text after `>`; empty in a dif
    std::vector<ByteChange> changes;  // sorted by address, one record an address

    bool operator==(const PatchModule&) const = default;
};

struct Patch {
    PatchFormat format = PatchFormat::kDif;
    std::vector<PatchModule> modules;  // a dif has exactly one

    bool operator==(const Patch&) const = default;
};

struct PatchRefusal {
    uint32_t line = 0;  // 0 when the refusal concerns no one line
    std::string reason;

    bool operator==(const PatchRefusal&) const = default;
};

// The largest patch text read: a record takes at least 8 characters with its line end, so this
// is well past any patch of a file that a 32-bit PE can be, and it keeps line numbers in 32 bits.
inline constexpr uint64_t kPatchTextLimit = 1073741824;

// The longest line read, without its line end: a record takes at most 40 characters with a few
// blanks, a header's title or file name a few hundred.
inline constexpr size_t kPatchLineLimit = 4096;

// Reads a dif or a 1337 patch fed in pieces that may end anywhere, so a large patch is never held
// whole, nor a line longer than kPatchLineLimit. A UTF-8 byte-order mark may start the text. The
// first line that is not blank names the grammar: a `>MODULE` line a 1337 patch, anything else a
// dif, which starts with its first record or with a header of three lines (a title, an empty
// line, the file's name). Past that, every line is blank or a line of the grammar; the first
// other line refuses the patch. The text must be shorter than kPatchTextLimit.
class PatchReader {
  public:
    // sizeHint: the whole text's length when known, so that the room for the records is taken
    // once.
    explicit PatchReader(uint64_t sizeHint = 0) : sizeHint_(sizeHint) {}

    // False once the text is refused: Finish then tells why.
    bool Feed(std::string_view piece);
    // Ends the text. Returns false with refusal set and patch empty when it is refused.
    bool Finish(Patch& patch, PatchRefusal& refusal);

  private:
    // kDifTitle and kDifName: the header's title line was read, then its empty line.
    enum class State { kDetecting, kDifTitle, kDifName, kDif, k1337 };

    bool TakeLines(const char* begin, const char* end);
    bool TakeLine(const char* begin, const char* end, uint32_t number);
    bool CarryFits();
    bool Refuse(uint32_t line, std::string reason);
    static std::string LongLineReason();

    uint64_t sizeHint_;
    State state_ = State::kDetecting;
    Patch patch_;
    PatchRefusal refusal_;
    bool refused_ = false;
    std::string carry_;  // the start of a line that the last piece cut short
    uint32_t nextLine_ = 1;
    uint32_t titleLine_ = 0;  // a dif header's title line
};

// True for the text of an IPS patch, which carries no old bytes: "PATCH" first, "EOF" last or
// followed by a 3-byte size. head: the text's first 5 bytes (all of a shorter text); tail: its
// last 6.
bool IsIpsPatch(std::string_view head, std::string_view tail);

// Reads a whole text: an IPS patch is refused, anything else read as by PatchReader.
bool ReadPatch(std::string_view text, Patch& patch, PatchRefusal& refusal);

}  // namespace tandrel
