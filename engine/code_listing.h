// The instructions that lie under a run of differing bytes in one file's code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace tandrel {

struct Instruction {
    uint64_t offset = 0;  // of its first byte in its file
    uint32_t rva = 0;
    uint64_t va = 0;  // the image base plus rva, 32-bit wrapping for PE32
    uint8_t length = 0;
    uint8_t bytes[15] = {};
    // A byte that does not start an instruction is listed alone, as "(bad)".
    bool decoded = false;
    uint8_t textLength = 0;
    char text[119] = {};  // Intel syntax, lower case

    std::string_view Text() const { return {text, textLength}; }
};

// In address order.
using CodeListing = std::vector<Instruction>;

}  // namespace tandrel
