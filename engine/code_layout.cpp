#include "engine/code_layout.h"

#include <algorithm>

#include "engine/chunk_pair.h"
#include "engine/pe_format.h"

namespace tandrel {

bool CodeLayout::Read(const InputFile& file) {
    *this = CodeLayout();
    const uint64_t size = file.Size();
    // Bytes past the end of the file read as zero, as the report's header reading has them.
    const PeBytes read = [&file, size](uint64_t offset, uint8_t* out, size_t count) {
        std::fill(out, out + count, uint8_t{0});
        size_t got = 0;
        return offset >= size || file.ReadAt(offset, out, count, got);
    };
    // Within the first chunk, as the report's header reading looks.
    PeHeaders headers;
    if (!ReadPeHeaders(read, size, static_cast<int64_t>(kChunkSize), headers)) {
        return false;
    }
    is64_ = headers.is64;
    imageBase_ = headers.imageBase;
    machine_ = headers.machine == kPeMachineI386    ? CodeMachine::kX86
               : headers.machine == kPeMachineAmd64 ? CodeMachine::kX64
                                                    : CodeMachine::kNone;
    std::vector<SectionEntry> entries;
    for (size_t at = 0; at < headers.table.size(); at += kPeSectionHeaderSize) {
        const uint8_t* entry = headers.table.data() + at;
        const uint32_t virtualSize = ReadLe32(entry + kPeSectionVirtualSizeAt);
        const uint32_t rawSize = ReadLe32(entry + kPeSectionSizeOfRawDataAt);
        const uint32_t rawBegin = ReadLe32(entry + kPeSectionPointerToRawDataAt);
        const uint32_t flags = ReadLe32(entry + kPeSectionCharacteristicsAt);
        // The sweep covers what the loader maps of the raw data (objdump stops there too) and
        // what the file holds.
        uint64_t swept = rawSize;
        if (virtualSize != 0) {
            swept = std::min<uint64_t>(swept, virtualSize);
        }
        const uint64_t sweepEnd = std::min<uint64_t>(uint64_t{rawBegin} + swept, size);
        CodeSection section;
        section.rawBegin = rawBegin;
        section.rawEnd = static_cast<uint32_t>(std::max<uint64_t>(sweepEnd, rawBegin));
        section.virtualAddress = ReadLe32(entry + kPeSectionVirtualAddressAt);
        section.executable = (flags & (kPeSectionContainsCode | kPeSectionMemoryExecute)) != 0;
        sections_.push_back(section);
        entries.push_back({section.virtualAddress, rawSize, rawBegin});
    }
    sectionMap_ = SectionMap(entries);
    return true;
}

const CodeSection* CodeLayout::SectionAt(uint64_t offset) const {
    const std::optional<uint32_t> index = sectionMap_.AtOffset(offset);
    return index ? &sections_[*index] : nullptr;
}

}  // namespace tandrel
