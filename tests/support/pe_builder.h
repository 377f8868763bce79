// Small PE32 and PE32+ images made to measure: only the fields the header reader looks at are
// filled in, each can be set to any value, bad ones included.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "tests/support/temp_dir.h"

namespace tandrel::test {

struct PeBuilder {
    uint16_t magic = 0x10B;  // 0x20B: PE32+
    uint64_t imageBase = 0x400000;
    uint32_t lfanew = 0x80;
    bool mz = true;
    std::optional<uint16_t> sizeOfOptionalHeader;  // by default that of the magic's kind
    std::optional<uint16_t> numberOfSections;      // by default the count of Section() calls
    std::optional<size_t> fileSize;  // by default the end of the last raw data or the headers
    std::vector<uint32_t> sections;  // virtualAddress, sizeOfRawData, pointerToRawData each

    PeBuilder& ImageBase(uint64_t base) {
        imageBase = base;
        return *this;
    }
    PeBuilder& Section(uint32_t virtualAddress, uint32_t sizeOfRawData, uint32_t pointerToRawData) {
        sections.insert(sections.end(), {virtualAddress, sizeOfRawData, pointerToRawData});
        return *this;
    }
    Bytes Build() const;
};

}  // namespace tandrel::test
