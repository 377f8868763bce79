#include "tests/support/pe_builder.h"

#include <algorithm>

namespace tandrel::test {
namespace {

void Put(Bytes& bytes, size_t at, uint64_t value, int width) {
    if (bytes.size() < at + width) {
        bytes.resize(at + width);
    }
    for (int k = 0; k < width; ++k) {
        bytes[at + k] = static_cast<uint8_t>(value >> (8 * k));
    }
}

}  // namespace

Bytes PeBuilder::Build() const {
    const bool plus = magic_ == 0x20B;
    const uint16_t optionalSize = sizeOfOptionalHeader_.value_or(plus ? 0xF0 : 0xE0);
    // A negative SizeOfOptionalHeader puts the table before the optional header.
    const int64_t tableStart = int64_t{lfanew_} + 24 + static_cast<int16_t>(optionalSize);
    int64_t end = std::max<int64_t>(tableStart + 40 * static_cast<int64_t>(sections_.size()),
                                    int64_t{lfanew_} + 24 + 96);
    for (const PeSectionSpec& s : sections_) {
        end = std::max<int64_t>(end, int64_t{s.pointerToRawData} + s.sizeOfRawData);
    }
    Bytes bytes(fileSize_.value_or(static_cast<size_t>(end)), 0);
    // Fields are written only where they fall inside the file, so short files stay short.
    auto put = [&](int64_t at, uint64_t value, int width) {
        if (at >= 0 && static_cast<size_t>(at) + width <= bytes.size()) {
            Put(bytes, static_cast<size_t>(at), value, width);
        }
    };
    // Raw data gets a recognisable filler so that patched copies differ from it visibly; the
    // header fields written after it win where a section holds the headers.
    for (const PeSectionSpec& s : sections_) {
        for (size_t at = s.pointerToRawData;
             at < static_cast<size_t>(s.pointerToRawData) + s.sizeOfRawData && at < bytes.size();
             ++at) {
            bytes[at] = static_cast<uint8_t>(0x90 + (at & 7));
        }
    }
    if (mz_) {
        put(0, 'M' | 'Z' << 8, 2);
    }
    put(60, lfanew_, 4);
    put(lfanew_, 'P' | 'E' << 8, 4);
    put(lfanew_ + 4, plus ? 0x8664 : 0x14C, 2);
    put(lfanew_ + 6, numberOfSections_.value_or(static_cast<uint16_t>(sections_.size())), 2);
    put(lfanew_ + 20, optionalSize, 2);
    put(lfanew_ + 24, magic_, 2);
    if (plus) {
        put(lfanew_ + 48, imageBase_, 8);
    } else {
        put(lfanew_ + 52, imageBase_, 4);
    }
    for (size_t k = 0; k < sections_.size(); ++k) {
        const int64_t header = tableStart + 40 * static_cast<int64_t>(k);
        put(header, '.' | 's' << 8 | 'e' << 16 | 'c' << 24, 4);
        put(header + 12, sections_[k].virtualAddress, 4);
        put(header + 16, sections_[k].sizeOfRawData, 4);
        put(header + 20, sections_[k].pointerToRawData, 4);
    }
    return bytes;
}

}  // namespace tandrel::test
