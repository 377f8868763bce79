#include "engine/pe_image.h"

#include <algorithm>
#include <queue>

namespace tandrel {
namespace {

constexpr int64_t kMinimumImageLength = 80;
constexpr int64_t kSectionHeaderSize = 40;
// The headers read here end with the image base at e_lfanew + 48 (PE32+, 8 bytes) or
// e_lfanew + 52 (PE32, 4 bytes): both end 56 bytes after e_lfanew.
constexpr int64_t kHeaderFieldsEnd = 56;
constexpr uint16_t kPe32PlusMagic = 0x20B;

// Little-endian fields assembled byte by byte, each byte past the file's bytes zero. Every
// position read lies inside the chunk.
uint64_t ReadField(const FirstChunk& chunk, int64_t at, int width) {
    uint64_t value = 0;
    for (int k = width - 1; k >= 0; --k) {
        const auto position = static_cast<size_t>(at + k);
        value = value << 8 | (position < chunk.count ? chunk.data[position] : 0);
    }
    return value;
}

uint16_t Read16(const FirstChunk& chunk, int64_t at) {
    return static_cast<uint16_t>(ReadField(chunk, at, 2));
}

uint32_t Read32(const FirstChunk& chunk, int64_t at) {
    return static_cast<uint32_t>(ReadField(chunk, at, 4));
}

// Sweeps the section starts and ends in offset order, keeping the sections that hold the
// current stretch in a heap by table index: its top is the section that translates the stretch.
std::vector<RvaRange> BuildRvaRanges(const std::vector<SectionEntry>& sections) {
    struct Span {
        uint32_t begin;
        uint32_t end;
        uint32_t index;
    };
    std::vector<Span> spans;
    std::vector<uint32_t> points;
    for (uint32_t k = 0; k < sections.size(); ++k) {
        const uint32_t begin = sections[k].pointerToRawData;
        const uint32_t end = begin + sections[k].sizeOfRawData;  // wraps
        if (begin < end) {
            spans.push_back({begin, end, k});
            points.push_back(begin);
            points.push_back(end);
        }
    }
    std::sort(spans.begin(), spans.end(),
              [](const Span& a, const Span& b) { return a.begin < b.begin; });
    std::sort(points.begin(), points.end());
    points.erase(std::unique(points.begin(), points.end()), points.end());

    auto later = [&](size_t a, size_t b) { return spans[a].index > spans[b].index; };
    std::priority_queue<size_t, std::vector<size_t>, decltype(later)> holding(later);
    std::vector<RvaRange> ranges;
    size_t next = 0;
    for (size_t p = 0; p + 1 < points.size(); ++p) {
        const uint32_t at = points[p];
        while (next < spans.size() && spans[next].begin <= at) {
            holding.push(next++);
        }
        while (!holding.empty() && spans[holding.top()].end <= at) {
            holding.pop();
        }
        if (holding.empty()) {
            continue;
        }
        const SectionEntry& section = sections[spans[holding.top()].index];
        const uint32_t delta = section.virtualAddress - section.pointerToRawData;
        if (!ranges.empty() && ranges.back().end == at && ranges.back().rvaMinusOffset == delta) {
            ranges.back().end = points[p + 1];
        } else {
            ranges.push_back({at, points[p + 1], delta});
        }
    }
    return ranges;
}

}  // namespace

bool ParsePeHeader(PeImageInfo& info, const FirstChunk& chunk, uint64_t fileSize) {
    // The length is compared as a signed 32-bit value, so files of 2 GiB or more never qualify.
    if (fileSize < static_cast<uint64_t>(kMinimumImageLength) || fileSize > 0x7FFFFFFF ||
        chunk.size < static_cast<size_t>(kMinimumImageLength)) {
        return false;
    }
    const auto length = static_cast<int64_t>(fileSize);
    const auto chunkEnd = static_cast<int64_t>(chunk.size);
    const auto lfanew = static_cast<int64_t>(static_cast<int32_t>(Read32(chunk, 60)));
    if (lfanew <= 0 || lfanew >= length || lfanew + kHeaderFieldsEnd > chunkEnd) {
        return false;
    }
    if (Read16(chunk, lfanew) != ('P' | 'E' << 8)) {
        return false;
    }

    info.is64 = Read16(chunk, lfanew + 24) == kPe32PlusMagic;
    info.numberOfSections = Read16(chunk, lfanew + 6);
    if (info.is64) {
        info.imageBase64 = ReadField(chunk, lfanew + 48, 8);
    } else {
        info.imageBase32 = Read32(chunk, lfanew + 52);
    }

    // A negative SizeOfOptionalHeader moves the table before the optional header; entries that
    // do not lie wholly inside the chunk are left out rather than read from outside it.
    const auto sizeOfOptionalHeader = static_cast<int16_t>(Read16(chunk, lfanew + 20));
    const int64_t tableStart = lfanew + 24 + sizeOfOptionalHeader;
    info.sections.clear();
    for (int32_t k = 0; k < info.numberOfSections; ++k) {
        const int64_t entry = tableStart + k * kSectionHeaderSize;
        if (entry + kSectionHeaderSize > chunkEnd) {
            break;
        }
        if (entry < 0) {
            continue;
        }
        const SectionEntry section = {Read32(chunk, entry + 12), Read32(chunk, entry + 16),
                                      Read32(chunk, entry + 20)};
        info.sections.push_back(section);
    }
    info.rvaRanges = BuildRvaRanges(info.sections);
    return true;
}

uint32_t FileOffsetToRva(const PeImageInfo& info, uint32_t offset) {
    const auto after =
        std::upper_bound(info.rvaRanges.begin(), info.rvaRanges.end(), offset,
                         [](uint32_t value, const RvaRange& range) { return value < range.begin; });
    if (after == info.rvaRanges.begin() || offset >= std::prev(after)->end) {
        return 0;
    }
    return std::prev(after)->rvaMinusOffset + offset;
}

}  // namespace tandrel
