#include "engine/section_map.h"

#include <algorithm>
#include <iterator>

#include "engine/span_claims.h"

namespace tandrel {

const PeSpan* SpanAt(std::span<const PeSpan> spans, uint64_t at) {
    const auto after =
        std::upper_bound(spans.begin(), spans.end(), at,
                         [](uint64_t value, const PeSpan& span) { return value < span.begin; });
    if (after == spans.begin() || at >= std::prev(after)->end) {
        return nullptr;
    }
    return &*std::prev(after);
}

// Claimed in table order, so an earlier section keeps what a later one overlaps.
SectionMap::SectionMap(std::span<const SectionEntry> sections) {
    SpanClaims offsets;
    SpanClaims rvas;
    for (uint32_t k = 0; k < sections.size(); ++k) {
        const SectionEntry& section = sections[k];
        const uint32_t rawEnd = section.pointerToRawData + section.sizeOfRawData;  // wraps
        offsets.Fill(section.pointerToRawData, std::max(section.pointerToRawData, rawEnd), k);
        rvas.Fill(section.virtualAddress, uint64_t{section.virtualAddress} + section.sizeOfRawData,
                  k);
    }
    byOffset_ = offsets.TakeSorted();
    byRva_ = rvas.TakeSorted();
}

std::optional<uint32_t> SectionMap::AtOffset(uint64_t offset) const {
    const PeSpan* span = SpanAt(byOffset_, offset);
    return span ? std::optional(span->owner) : std::nullopt;
}

std::optional<uint32_t> SectionMap::AtRva(uint64_t rva) const {
    const PeSpan* span = SpanAt(byRva_, rva);
    return span ? std::optional(span->owner) : std::nullopt;
}

}  // namespace tandrel
