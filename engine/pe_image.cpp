#include "engine/pe_image.h"

#include <algorithm>
#include <cstring>

namespace tandrel {

bool ParsePeHeader(PeImageInfo& info, const FirstChunk& chunk, uint64_t fileSize) {
    // Every position asked for lies inside the chunk.
    const PeBytes read = [&chunk](uint64_t offset, uint8_t* out, size_t count) {
        std::memset(out, 0, count);
        if (offset < chunk.count) {
            std::memcpy(out, chunk.data + offset, std::min<size_t>(count, chunk.count - offset));
        }
        return true;
    };
    return ParsePeHeader(info, read, fileSize, static_cast<int64_t>(chunk.size));
}

bool ParsePeHeader(PeImageInfo& info, const PeBytes& read, uint64_t fileSize, int64_t window) {
    PeHeaders headers;
    if (!ReadPeHeaders(read, fileSize, window, headers)) {
        return false;
    }
    info.is64 = headers.is64;
    info.numberOfSections = headers.numberOfSections;
    if (info.is64) {
        info.imageBase64 = headers.imageBase;
    } else {
        info.imageBase32 = static_cast<uint32_t>(headers.imageBase);
    }
    info.sections.clear();
    for (size_t at = 0; at < headers.table.size(); at += kPeSectionHeaderSize) {
        const uint8_t* entry = headers.table.data() + at;
        info.sections.push_back({ReadLe32(entry + kPeSectionVirtualAddressAt),
                                 ReadLe32(entry + kPeSectionSizeOfRawDataAt),
                                 ReadLe32(entry + kPeSectionPointerToRawDataAt)});
    }
    info.sectionMap = SectionMap(info.sections);
    return true;
}

uint32_t FileOffsetToRva(const PeImageInfo& info, uint32_t offset) {
    const std::optional<uint32_t> index = info.sectionMap.AtOffset(offset);
    if (!index) {
        return 0;
    }
    const SectionEntry& section = info.sections[*index];
    return section.virtualAddress - section.pointerToRawData + offset;
}

}  // namespace tandrel
