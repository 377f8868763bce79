// The instructions that lie under a run of differing bytes in one file's code, decoded and
// formatted one at a time as a format writes them: a run of any length lists in flat memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

namespace tandrel {

class CodeDecoder;
struct CodeSection;

struct Instruction {
    uint64_t offset = 0;  // of its first byte in its file
    uint32_t rva = 0;
    uint64_t va = 0;  // the image base plus rva, 32-bit wrapping for PE32
    uint8_t length = 0;
    uint8_t bytes[15] = {};
    // A byte that does not start an instruction is listed alone, as "(bad)".
    bool decoded = false;
    uint8_t textLength = 0;
    char text[160] = {};  // Intel syntax, lower case

    std::string_view Text() const { return {text, textLength}; }
};

class CodeListing {
  public:
    using Visit = std::function<bool(const Instruction&)>;

    // Hands each instruction that overlaps the run to visit, in address order, until visit
    // returns false (then false). A read of the file that fails ends the list early. The
    // listing is good until the decoder lists the next run.
    bool ForEach(const Visit& visit) const;

  private:
    friend class CodeDecoder;

    CodeDecoder* decoder_ = nullptr;
    const CodeSection* section_ = nullptr;
    int side_ = 0;
    uint64_t start_ = 0;  // the first instruction's offset
    uint64_t end_ = 0;    // the run's end within the section
};

}  // namespace tandrel
