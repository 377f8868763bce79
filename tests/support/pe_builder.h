// Small PE32 and PE32+ images made to measure: only the fields the header reader looks at are
// filled in, each can be set to any value, bad ones included.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <utility>
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
    std::vector<std::pair<uint32_t, uint32_t>> words;  // offset, 32-bit value: written last

    PeBuilder& Section(uint32_t virtualAddress, uint32_t sizeOfRawData, uint32_t pointerToRawData) {
        sections.insert(sections.end(), {virtualAddress, sizeOfRawData, pointerToRawData});
        return *this;
    }
    Bytes Build() const {
        const bool plus = magic == 0x20B;
        const uint16_t optionalSize = sizeOfOptionalHeader.value_or(plus ? 0xF0 : 0xE0);
        // A negative SizeOfOptionalHeader puts the table before the optional header.
        const int64_t tableStart = int64_t{lfanew} + 24 + static_cast<int16_t>(optionalSize);
        const size_t count = sections.size() / 3;
        int64_t end = std::max<int64_t>(tableStart + 40 * int64_t(count), int64_t{lfanew} + 120);
        for (size_t k = 0; k < count; ++k) {
            end = std::max<int64_t>(end, int64_t{sections[3 * k + 2]} + sections[3 * k + 1]);
        }
        Bytes bytes(fileSize.value_or(static_cast<size_t>(end)), 0);
        // Raw data gets a recognisable filler; the header fields written after it win where a
        // section holds the headers. Fields are written only where they fall inside the file.
        for (size_t k = 0; k < count; ++k) {
            for (uint64_t at = sections[3 * k + 2];
                 at < uint64_t{sections[3 * k + 2]} + sections[3 * k + 1] && at < bytes.size();
                 ++at) {
                bytes[at] = static_cast<uint8_t>(0x90 + (at & 7));
            }
        }
        auto put = [&](int64_t at, uint64_t value, int width) {
            for (int k = 0; k < width && at >= 0 && size_t(at) + width <= bytes.size(); ++k) {
                bytes[at + k] = static_cast<uint8_t>(value >> (8 * k));
            }
        };
        put(0, mz ? 'M' | 'Z' << 8 : 0, 2);
        put(60, lfanew, 4);
        put(lfanew, 'P' | 'E' << 8, 4);
        put(lfanew + 6, numberOfSections.value_or(static_cast<uint16_t>(count)), 2);
        put(lfanew + 20, optionalSize, 2);
        put(lfanew + 24, magic, 2);
        put(lfanew + (plus ? 48 : 52), imageBase, plus ? 8 : 4);
        for (size_t k = 0; k < count; ++k) {
            for (int field = 0; field < 3; ++field) {
                put(tableStart + 40 * int64_t(k) + 12 + 4 * field, sections[3 * k + field], 4);
            }
        }
        for (const auto& [at, value] : words) {
            put(at, value, 4);
        }
        return bytes;
    }
};

}  // namespace tandrel::test
