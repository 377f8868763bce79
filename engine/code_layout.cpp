#include "engine/code_layout.h"

#include <algorithm>
#include <queue>

namespace tandrel {
namespace {

constexpr uint64_t kSmallestImage = 80;
constexpr uint64_t kLargestImage = 0x7FFFFFFF;
// The report's header reading looks at the headers within the first 16 MiB only.
constexpr int64_t kHeaderWindow = 16 * 1024 * 1024;
constexpr int64_t kHeaderFieldsEnd = 56;
constexpr int64_t kSectionHeaderSize = 40;
constexpr uint16_t kMachineI386 = 0x14C;
constexpr uint16_t kMachineAmd64 = 0x8664;
constexpr uint16_t kPe32PlusMagic = 0x20B;
constexpr uint32_t kContainsCode = 0x00000020;
constexpr uint32_t kMemoryExecute = 0x20000000;

uint64_t Field(const uint8_t* bytes, int width) {
    uint64_t value = 0;
    for (int k = width - 1; k >= 0; --k) {
        value = value << 8 | bytes[k];
    }
    return value;
}

// Reads count bytes at offset into out; bytes past the end of the file read as zero, as the
// report's header reading has them.
bool ReadZeroFilled(const InputFile& file, uint64_t offset, uint8_t* out, size_t count) {
    std::fill(out, out + count, uint8_t{0});
    size_t got = 0;
    return offset >= file.Size() || file.ReadAt(offset, out, count, got);
}

}  // namespace

bool CodeLayout::Read(const InputFile& file) {
    *this = CodeLayout();
    const uint64_t size = file.Size();
    if (size < kSmallestImage || size > kLargestImage) {
        return false;
    }
    uint8_t dos[4];
    if (!ReadZeroFilled(file, 60, dos, sizeof dos)) {
        return false;
    }
    const auto lfanew = static_cast<int64_t>(static_cast<int32_t>(Field(dos, 4)));
    if (lfanew <= 0 || static_cast<uint64_t>(lfanew) >= size ||
        lfanew + kHeaderFieldsEnd > kHeaderWindow) {
        return false;
    }
    uint8_t header[kHeaderFieldsEnd];
    if (!ReadZeroFilled(file, static_cast<uint64_t>(lfanew), header, sizeof header) ||
        Field(header, 2) != ('P' | 'E' << 8)) {
        return false;
    }
    const auto machine = static_cast<uint16_t>(Field(header + 4, 2));
    const auto sectionCount = static_cast<int64_t>(Field(header + 6, 2));
    const auto optionalHeaderSize = static_cast<int16_t>(Field(header + 20, 2));
    is64_ = Field(header + 24, 2) == kPe32PlusMagic;
    imageBase_ = is64_ ? Field(header + 48, 8) : Field(header + 52, 4);
    machine_ = machine == kMachineI386    ? CodeMachine::kX86
               : machine == kMachineAmd64 ? CodeMachine::kX64
                                          : CodeMachine::kNone;

    // Entries wholly inside the header window, as the report's RVA takes them; a negative
    // SizeOfOptionalHeader puts some before the file, and those are left out.
    const int64_t tableStart = lfanew + 24 + optionalHeaderSize;
    const int64_t tableEnd =
        std::min(tableStart + sectionCount * kSectionHeaderSize, kHeaderWindow);
    const int64_t firstWhole = tableStart >= 0 ? 0 : (-tableStart + 39) / kSectionHeaderSize;
    const int64_t readFrom = tableStart + firstWhole * kSectionHeaderSize;
    const int64_t wholeEntries = std::max<int64_t>(0, (tableEnd - readFrom) / kSectionHeaderSize);
    std::vector<uint8_t> table(static_cast<size_t>(wholeEntries * kSectionHeaderSize));
    if (!table.empty() &&
        !ReadZeroFilled(file, static_cast<uint64_t>(readFrom), table.data(), table.size())) {
        *this = CodeLayout();
        return false;
    }
    std::vector<uint32_t> rawSizes;
    for (size_t at = 0; at < table.size(); at += kSectionHeaderSize) {
        const uint8_t* entry = table.data() + at;
        const auto virtualSize = static_cast<uint32_t>(Field(entry + 8, 4));
        const auto rawSize = static_cast<uint32_t>(Field(entry + 16, 4));
        const auto rawBegin = static_cast<uint32_t>(Field(entry + 20, 4));
        const auto flags = static_cast<uint32_t>(Field(entry + 36, 4));
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
        section.virtualAddress = static_cast<uint32_t>(Field(entry + 12, 4));
        section.executable = (flags & (kContainsCode | kMemoryExecute)) != 0;
        sections_.push_back(section);
        rawSizes.push_back(rawSize);
    }
    BuildStretches(rawSizes);
    return true;
}

// Sweeps the sections' raw starts and ends in offset order, keeping those that hold the current
// stretch in a heap by table index: its top translates the stretch. O(n log n) however many
// sections a hostile header declares.
void CodeLayout::BuildStretches(const std::vector<uint32_t>& rawSizes) {
    std::vector<Stretch> spans;
    std::vector<uint32_t> points;
    for (uint32_t k = 0; k < sections_.size(); ++k) {
        const uint32_t begin = sections_[k].rawBegin;
        const uint32_t end = begin + rawSizes[k];  // wraps: such a section holds nothing
        if (begin < end) {
            spans.push_back({begin, end, k});
            points.push_back(begin);
            points.push_back(end);
        }
    }
    std::sort(spans.begin(), spans.end(),
              [](const Stretch& a, const Stretch& b) { return a.begin < b.begin; });
    std::sort(points.begin(), points.end());
    points.erase(std::unique(points.begin(), points.end()), points.end());
    auto later = [&](size_t a, size_t b) { return spans[a].section > spans[b].section; };
    std::priority_queue<size_t, std::vector<size_t>, decltype(later)> holding(later);
    size_t next = 0;
    for (size_t p = 0; p + 1 < points.size(); ++p) {
        while (next < spans.size() && spans[next].begin <= points[p]) {
            holding.push(next++);
        }
        while (!holding.empty() && spans[holding.top()].end <= points[p]) {
            holding.pop();
        }
        if (!holding.empty()) {
            stretches_.push_back({points[p], points[p + 1], spans[holding.top()].section});
        }
    }
}

const CodeSection* CodeLayout::SectionAt(uint64_t offset) const {
    const auto after = std::upper_bound(
        stretches_.begin(), stretches_.end(), offset,
        [](uint64_t value, const Stretch& stretch) { return value < stretch.begin; });
    if (after == stretches_.begin() || offset >= std::prev(after)->end) {
        return nullptr;
    }
    return &sections_[std::prev(after)->section];
}

}  // namespace tandrel
