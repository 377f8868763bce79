// Which section of a PE image holds a file offset or an RVA: always the first in table order
// whose range holds it, however the sections overlap.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tandrel {

struct SectionEntry {
    uint32_t virtualAddress = 0;
    uint32_t sizeOfRawData = 0;
    uint32_t pointerToRawData = 0;
};

// [begin, end) of the file held by one owner (a structure placed, a section).
struct PeSpan {
    uint64_t begin;
    uint64_t end;
    uint32_t owner;
};

// The span of sorted, disjoint spans that holds at, or null. O(log n).
const PeSpan* SpanAt(std::span<const PeSpan> spans, uint64_t at);

class SectionMap {
  public:
    SectionMap() = default;
    // O(n log n), so a hostile header's thousands of sections cost little.
    explicit SectionMap(std::span<const SectionEntry> sections);

    // The index of the section whose raw data holds offset: pointerToRawData <= offset <
    // pointerToRawData + sizeOfRawData, the end wrapping at 32 bits (such a section holds
    // nothing). O(log n).
    std::optional<uint32_t> AtOffset(uint64_t offset) const;
    // The index of the section whose virtual range holds rva: virtualAddress <= rva <
    // virtualAddress + sizeOfRawData, the end not wrapping. O(log n).
    std::optional<uint32_t> AtRva(uint64_t rva) const;

  private:
    std::vector<PeSpan> byOffset_;  // sorted, disjoint; owner: the section's index
    std::vector<PeSpan> byRva_;
};

}  // namespace tandrel
