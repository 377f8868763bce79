// Small PE32 and PE32+ images made to measure: only the fields the header reader looks at are
// filled in, each can be set to any value, bad ones included.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "tests/support/temp_dir.h"

namespace tandrel::test {

struct PeSectionSpec {
    uint32_t virtualAddress = 0;
    uint32_t sizeOfRawData = 0;
    uint32_t pointerToRawData = 0;
};

class PeBuilder {
  public:
    PeBuilder& Pe32Plus() {
        magic_ = 0x20B;
        return *this;
    }
    PeBuilder& Magic(uint16_t magic) {
        magic_ = magic;
        return *this;
    }
    PeBuilder& ImageBase(uint64_t base) {
        imageBase_ = base;
        return *this;
    }
    PeBuilder& Lfanew(uint32_t value) {
        lfanew_ = value;
        return *this;
    }
    PeBuilder& NoMz() {
        mz_ = false;
        return *this;
    }
    PeBuilder& SizeOfOptionalHeader(uint16_t size) {
        sizeOfOptionalHeader_ = size;
        return *this;
    }
    // Overrides the NumberOfSections field; by default it counts the sections added.
    PeBuilder& NumberOfSections(uint16_t count) {
        numberOfSections_ = count;
        return *this;
    }
    PeBuilder& Section(uint32_t virtualAddress, uint32_t sizeOfRawData, uint32_t pointerToRawData) {
        sections_.push_back({virtualAddress, sizeOfRawData, pointerToRawData});
        return *this;
    }
    // The file's length; by default it ends after the last section's raw data or the headers.
    PeBuilder& FileSize(size_t size) {
        fileSize_ = size;
        return *this;
    }

    Bytes Build() const;

  private:
    uint16_t magic_ = 0x10B;
    uint64_t imageBase_ = 0x400000;
    uint32_t lfanew_ = 0x80;
    bool mz_ = true;
    std::optional<uint16_t> sizeOfOptionalHeader_;
    std::optional<uint16_t> numberOfSections_;
    std::vector<PeSectionSpec> sections_;
    std::optional<size_t> fileSize_;
};

}  // namespace tandrel::test
