#include "engine/pe_image.h"

namespace tandrel {
namespace {

constexpr int64_t kMinimumImageLength = 80;
constexpr int64_t kSectionHeaderSize = 40;
// The headers read here end with the image base at e_lfanew + 48 (PE32+, 8 bytes) or
// e_lfanew + 52 (PE32, 4 bytes): both end 56 bytes after e_lfanew.
constexpr int64_t kHeaderFieldsEnd = 56;
constexpr uint16_t kPe32PlusMagic = 0x20B;

uint16_t Read16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

uint32_t Read32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

uint64_t Read64(const uint8_t* p) {
    return static_cast<uint64_t>(Read32(p)) | static_cast<uint64_t>(Read32(p + 4)) << 32;
}

}  // namespace

bool ParsePeHeader(PeImageInfo& info, const uint8_t* chunk, size_t chunkSize, uint64_t fileSize) {
    // The length is compared as a signed 32-bit value, so files of 2 GiB or more never qualify.
    if (fileSize < static_cast<uint64_t>(kMinimumImageLength) || fileSize > 0x7FFFFFFF ||
        chunkSize < static_cast<size_t>(kMinimumImageLength)) {
        return false;
    }
    const auto length = static_cast<int64_t>(fileSize);
    const auto bufferEnd = static_cast<int64_t>(chunkSize);
    const auto lfanew = static_cast<int64_t>(static_cast<int32_t>(Read32(chunk + 60)));
    if (lfanew <= 0 || lfanew >= length || lfanew + kHeaderFieldsEnd > bufferEnd) {
        return false;
    }
    const uint8_t* pe = chunk + lfanew;
    if (pe[0] != 'P' || pe[1] != 'E') {
        return false;
    }

    info.is64 = Read16(pe + 24) == kPe32PlusMagic;
    info.numberOfSections = Read16(pe + 6);
    if (info.is64) {
        info.imageBase64 = Read64(pe + 48);
    } else {
        info.imageBase32 = Read32(pe + 52);
    }

    // A negative SizeOfOptionalHeader moves the table before the optional header; entries that
    // do not lie wholly inside the chunk are left out rather than read from outside it.
    const auto sizeOfOptionalHeader = static_cast<int16_t>(Read16(pe + 20));
    const int64_t tableStart = lfanew + 24 + sizeOfOptionalHeader;
    info.sections.clear();
    for (int32_t k = 0; k < info.numberOfSections; ++k) {
        const int64_t entry = tableStart + k * kSectionHeaderSize;
        if (entry + kSectionHeaderSize > bufferEnd) {
            break;
        }
        if (entry < 0) {
            continue;
        }
        const uint8_t* header = chunk + entry;
        info.sections.push_back({Read32(header + 12), Read32(header + 16), Read32(header + 20)});
    }
    return true;
}

uint32_t FileOffsetToRva(const PeImageInfo& info, uint32_t offset) {
    for (const SectionEntry& section : info.sections) {
        const uint32_t end = section.pointerToRawData + section.sizeOfRawData;  // wraps
        if (section.pointerToRawData <= offset && offset < end) {
            return section.virtualAddress - section.pointerToRawData + offset;
        }
    }
    return 0;
}

}  // namespace tandrel
