// The few facts of a PE32 or PE32+ image that translate a file offset into an RVA and a VA.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/pe_format.h"
#include "engine/section_map.h"

namespace tandrel {

struct PeImageInfo {
    int32_t numberOfSections = 0;  // as the file header states it
    uint32_t imageBase32 = 0;
    uint64_t imageBase64 = 0;
    bool is64 = false;
    // Copies of the section headers that lie wholly inside the chunk, in table order.
    std::vector<SectionEntry> sections;
    SectionMap sectionMap;  // of sections
};

// The first chunk of a file: size positions, of which the first count are the bytes at data; the
// rest, past the end of a file shorter than the chunk, read as zero.
struct FirstChunk {
    const uint8_t* data;
    size_t count;
    size_t size;
};

// Reads the headers from the first chunk of a file whose whole size is fileSize. False, leaving
// info as it was, for no image: under 80 bytes, 2 GiB or more, e_lfanew out of range, no "PE"
// letters there, or header fields outside the chunk.
bool ParsePeHeader(PeImageInfo& info, const FirstChunk& chunk, uint64_t fileSize);
// The same through read, looking no further than the file's first window bytes; false too when a
// read fails.
bool ParsePeHeader(PeImageInfo& info, const PeBytes& read, uint64_t fileSize, int64_t window);

// The RVA of a file offset through the first section (in table order) whose raw data holds it:
// pointerToRawData <= offset < pointerToRawData + sizeOfRawData, all in 32-bit wrapping
// arithmetic, so a section whose end wraps holds nothing. 0 when no section holds it.
uint32_t FileOffsetToRva(const PeImageInfo& info, uint32_t offset);

}  // namespace tandrel
