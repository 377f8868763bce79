// Any bytes as the first chunk: the header reader must stay inside the chunk (the chunk here is
// exactly the input, so AddressSanitizer sees the smallest overrun) and agree with the section
// walk it set up.
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/pe_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) {
        return 0;
    }
    // The first four bytes choose the file's whole size; the rest is the chunk.
    uint32_t fileSize;
    std::memcpy(&fileSize, data, 4);
    std::vector<uint8_t> chunk(data + 4, data + size);
    tandrel::PeImageInfo info;
    if (!tandrel::ParsePeHeader(info, chunk.data(), chunk.size(), fileSize)) {
        return 0;
    }
    if (fileSize < 80 || fileSize > 0x7FFFFFFF || info.sections.size() > 0xFFFF) {
        __builtin_trap();
    }
    for (uint32_t offset : {0u, 1u, 0x400u, fileSize - 1, fileSize / 2}) {
        const uint32_t rva = tandrel::FileOffsetToRva(info, offset);
        bool inside = false;
        for (const tandrel::SectionEntry& s : info.sections) {
            if (s.pointerToRawData <= offset && offset < s.pointerToRawData + s.sizeOfRawData) {
                inside = true;
                if (rva != s.virtualAddress - s.pointerToRawData + offset) {
                    __builtin_trap();
                }
                break;
            }
        }
        if (!inside && rva != 0) {
            __builtin_trap();
        }
    }
    return 0;
}
