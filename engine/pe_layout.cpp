#include "engine/pe_layout.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "engine/span_claims.h"

namespace tandrel {
namespace {

constexpr uint32_t kDirectoryCount = 16;
constexpr uint32_t kExportDirectory = 0;
constexpr uint32_t kResourceDirectory = 2;
constexpr uint32_t kSecurityDirectory = 4;
constexpr uint32_t kDebugDirectory = 6;
constexpr uint32_t kCodeViewType = 2;
constexpr uint32_t kSubdirectoryBit = 0x80000000;

// Bounds past anything a linker writes, so a hostile image costs little: real images have a
// handful of debug entries, CodeView records of a path's length and resource trees three tables
// deep.
constexpr uint32_t kMaxDebugEntries = 256;
constexpr uint32_t kMaxCodeViewSize = 65536;
constexpr uint32_t kMaxResourceTables = 65536;
constexpr uint32_t kMaxResourceDepth = 8;
// Section table entries and resource table entries read at a time.
constexpr uint32_t kNameBatch = 64;
constexpr uint32_t kEntryBatch = 512;

// Reads through the caller's reader, only inside the file and within what is left of the budget.
class Source {
  public:
    Source(const FileReader& read, uint64_t fileSize, size_t budget)
        : read_(read), size_(fileSize), left_(budget) {}

    uint64_t Size() const { return size_; }
    bool Inside(uint64_t at, uint64_t count) const { return at <= size_ && count <= size_ - at; }
    bool Read(uint64_t at, void* out, size_t count) {
        if (!Inside(at, count) || count > left_) {
            return false;
        }
        left_ -= count;
        return read_(at, out, count);
    }
    // What of [at, at + count) lies inside the file, the rest zeros, as ParsePeHeader sees the
    // positions past the file's end.
    bool ReadPadded(uint64_t at, uint8_t* out, size_t count) {
        std::memset(out, 0, count);
        const size_t inside =
            at < size_ ? static_cast<size_t>(std::min<uint64_t>(count, size_ - at)) : 0;
        return inside == 0 || Read(at, out, inside);
    }

  private:
    const FileReader& read_;
    uint64_t size_;
    size_t left_;
};

// The file offset of [rva, rva + size) through the first section in table order whose virtual
// range holds rva; false when that section's raw data or the file does not hold all of it.
bool MapRva(const PeImageInfo& info, uint64_t fileSize, uint32_t rva, uint64_t size,
            uint64_t& offset) {
    const std::optional<uint32_t> index = info.sectionMap.AtRva(rva);
    if (!index) {
        return false;
    }
    const SectionEntry& section = info.sections[*index];
    const uint32_t into = rva - section.virtualAddress;
    offset = uint64_t{section.pointerToRawData} + into;
    return size <= section.sizeOfRawData - into && offset + size <= fileSize;
}

}  // namespace

// One call of Read: places the structures in the order the report lists them, the headers
// filling what is free and each directory all or nothing.
class PeLayout::Reading {
  public:
    Reading(PeLayout& layout, const PeImageInfo& info, Source& source)
        : layout_(layout), info_(info), source_(source) {}

    bool ReadHeaders();
    void ReadSectionNames();
    void ReadDebug();
    void ReadExport();
    void ReadResources();
    void ReadCertificates();
    std::vector<PeSpan> TakeFields() { return claims_.TakeSorted(); }

  private:
    struct Directory {
        uint32_t rva;
        uint32_t size;
    };

    // The part inside the file; base and stride as for Placed.
    void Fill(const PeStructure& structure, int64_t begin, int64_t end, uint64_t stride = 0);
    bool TakeWhole(const PeStructure& structure, uint64_t begin, uint64_t end, uint64_t stride = 0);
    void PlaceCodeView(uint32_t offset, uint32_t size);
    Directory DirectoryEntry(uint32_t index) const;

    PeLayout& layout_;
    const PeImageInfo& info_;
    Source& source_;
    SpanClaims claims_;
    int64_t lfanew_ = 0;
    int64_t tableStart_ = 0;
    uint32_t directories_ = 0;
    // The signature, file header, optional header and data directory as ParsePeHeader sees them.
    uint8_t headers_[kPeOptionalHeaderAt + kPeOptionalHeader64Size +
                     kDirectoryCount * kPeDataDirectoryEntrySize] = {};
    size_t directoryAt_ = 0;  // in headers_
};

void PeLayout::Reading::Fill(const PeStructure& structure, int64_t begin, int64_t end,
                             uint64_t stride) {
    const auto size = static_cast<int64_t>(source_.Size());
    const int64_t from = std::clamp<int64_t>(begin, 0, size);
    const int64_t to = std::clamp<int64_t>(end, 0, size);
    if (from < to) {
        claims_.Fill(from, to, static_cast<uint32_t>(layout_.placed_.size()));
        layout_.placed_.push_back({&structure, begin, stride});
    }
}

bool PeLayout::Reading::TakeWhole(const PeStructure& structure, uint64_t begin, uint64_t end,
                                  uint64_t stride) {
    if (!source_.Inside(begin, end - begin) ||
        !claims_.TakeWhole(begin, end, static_cast<uint32_t>(layout_.placed_.size()))) {
        return false;
    }
    layout_.placed_.push_back({&structure, static_cast<int64_t>(begin), stride});
    return true;
}

PeLayout::Reading::Directory PeLayout::Reading::DirectoryEntry(uint32_t index) const {
    if (index >= directories_) {
        return {0, 0};
    }
    const uint8_t* entry = headers_ + directoryAt_ + index * kPeDataDirectoryEntrySize;
    return {ReadLe32(entry), ReadLe32(entry + kPeDirectorySizeAt)};
}

bool PeLayout::Reading::ReadHeaders() {
    uint8_t lfanew[4];
    if (!source_.ReadPadded(kPeLfanewAt, lfanew, sizeof lfanew)) {
        return false;
    }
    // ParsePeHeader took it as a signed value and accepted it: it is positive.
    lfanew_ = static_cast<int32_t>(ReadLe32(lfanew));
    if (!source_.ReadPadded(lfanew_, headers_, sizeof headers_)) {
        return false;
    }
    const int64_t optional = lfanew_ + kPeOptionalHeaderAt;
    const uint32_t optionalSize = info_.is64 ? kPeOptionalHeader64Size : kPeOptionalHeader32Size;
    directoryAt_ = kPeOptionalHeaderAt + optionalSize;
    // NumberOfRvaAndSizes ends the optional header.
    directories_ = std::min(ReadLe32(headers_ + directoryAt_ - sizeof(uint32_t)), kDirectoryCount);
    const auto sizeOfOptionalHeader =
        static_cast<int16_t>(ReadLe16(headers_ + kPeSizeOfOptionalHeaderAt));
    tableStart_ = optional + sizeOfOptionalHeader;

    Fill(kPeDosHeader, 0, kPeDosHeaderSize);
    Fill(kPeDosStub, kPeDosHeaderSize, lfanew_);
    Fill(kPeSignature, lfanew_, lfanew_ + kPeSignatureSize);
    Fill(kPeFileHeader, lfanew_ + kPeSignatureSize, optional);
    Fill(info_.is64 ? kPeOptionalHeader64 : kPeOptionalHeader32, optional, optional + optionalSize);
    Fill(kPeDataDirectory, optional + optionalSize,
         optional + optionalSize + directories_ * kPeDataDirectoryEntrySize,
         kPeDataDirectoryEntrySize);
    Fill(kPeSectionHeader, tableStart_,
         tableStart_ + int64_t{info_.numberOfSections} * kPeSectionHeaderSize,
         kPeSectionHeaderSize);
    return true;
}

// ParsePeHeader kept the entries from the first that starts inside the file on; their names are
// read again here and taken only when the entries read as ParsePeHeader saw them.
void PeLayout::Reading::ReadSectionNames() {
    const int64_t first = PeFirstEntryInFile(tableStart_);
    std::vector<SectionName> names(info_.sections.size());
    uint8_t batch[kNameBatch * kPeSectionHeaderSize];
    for (size_t k = 0; k < names.size(); ++k) {
        const size_t inBatch = k % kNameBatch;
        if (inBatch == 0) {
            const int64_t at = tableStart_ + (first + int64_t(k)) * kPeSectionHeaderSize;
            const size_t count = std::min<size_t>(kNameBatch, names.size() - k);
            if (!source_.ReadPadded(at, batch, count * kPeSectionHeaderSize)) {
                return;
            }
        }
        const uint8_t* entry = batch + inBatch * kPeSectionHeaderSize;
        const SectionEntry& kept = info_.sections[k];
        if (ReadLe32(entry + kPeSectionVirtualAddressAt) != kept.virtualAddress ||
            ReadLe32(entry + kPeSectionSizeOfRawDataAt) != kept.sizeOfRawData ||
            ReadLe32(entry + kPeSectionPointerToRawDataAt) != kept.pointerToRawData) {
            return;
        }
        std::memcpy(names[k].text, entry, sizeof names[k].text);
        names[k].size = sizeof names[k].text;
        while (names[k].size > 0 && names[k].text[names[k].size - 1] == '\0') {
            --names[k].size;
        }
    }
    layout_.sections_ = info_.sectionMap;
    layout_.sectionNames_ = std::move(names);
}

void PeLayout::Reading::ReadDebug() {
    const Directory debug = DirectoryEntry(kDebugDirectory);
    const uint32_t count = debug.size / kPeDebugDirectorySize;
    uint64_t offset = 0;
    uint8_t entries[kMaxDebugEntries * kPeDebugDirectorySize];
    const size_t length = count * kPeDebugDirectorySize;
    if (debug.rva == 0 || count == 0 || count > kMaxDebugEntries ||
        !MapRva(info_, source_.Size(), debug.rva, debug.size, offset) ||
        !claims_.IsFree(offset, offset + length) || !source_.Read(offset, entries, length) ||
        !TakeWhole(kPeDebugDirectory, offset, offset + length, kPeDebugDirectorySize)) {
        return;
    }
    for (uint32_t k = 0; k < count; ++k) {
        const uint8_t* entry = entries + k * kPeDebugDirectorySize;
        if (ReadLe32(entry + kPeDebugTypeAt) == kCodeViewType) {
            PlaceCodeView(ReadLe32(entry + kPeDebugPointerToRawDataAt),
                          ReadLe32(entry + kPeDebugSizeOfDataAt));
        }
    }
}

// The record at its file offset (PointerToRawData), which holds it whether it is mapped or not.
void PeLayout::Reading::PlaceCodeView(uint32_t offset, uint32_t size) {
    uint8_t signature[4];
    if (offset == 0 || size < sizeof signature || size > kMaxCodeViewSize ||
        !source_.Inside(offset, size) || !claims_.IsFree(offset, uint64_t{offset} + size) ||
        !source_.Read(offset, signature, sizeof signature)) {
        return;
    }
    if (std::memcmp(signature, "RSDS", 4) == 0 && size >= kPeCodeViewRsdsSize) {
        TakeWhole(kPeCodeViewRsds, offset, uint64_t{offset} + size);
    } else if (std::memcmp(signature, "NB10", 4) == 0 && size >= kPeCodeViewNb10Size) {
        TakeWhole(kPeCodeViewNb10, offset, uint64_t{offset} + size);
    }
}

void PeLayout::Reading::ReadExport() {
    const Directory exports = DirectoryEntry(kExportDirectory);
    uint64_t offset = 0;
    if (exports.rva != 0 && MapRva(info_, source_.Size(), exports.rva,
                                   std::max(exports.size, kPeExportDirectorySize), offset)) {
        TakeWhole(kPeExportDirectory, offset, offset + kPeExportDirectorySize);
    }
}

// Breadth first from the root, each table inside the directory's bytes. A table reached again
// (a loop) or over another structure is not followed, nor are tables deeper than any real tree.
void PeLayout::Reading::ReadResources() {
    const Directory resources = DirectoryEntry(kResourceDirectory);
    uint64_t base = 0;
    if (resources.rva == 0 || resources.size < kPeResourceTableHeaderSize ||
        !MapRva(info_, source_.Size(), resources.rva, resources.size, base)) {
        return;
    }
    struct Pending {
        uint32_t at;  // from the directory's start
        uint32_t depth;
    };
    std::vector<Pending> pending = {{0, 1}};
    for (size_t next = 0; next < pending.size(); ++next) {
        const Pending table = pending[next];
        uint8_t header[kPeResourceTableHeaderSize];
        if (table.at > resources.size - kPeResourceTableHeaderSize ||
            !claims_.IsFree(base + table.at, base + table.at + kPeResourceTableHeaderSize)) {
            continue;
        }
        if (!source_.Read(base + table.at, header, sizeof header)) {
            return;
        }
        const uint32_t entries = ReadLe16(header + kPeResourceNamedEntriesAt) +
                                 ReadLe16(header + kPeResourceIdEntriesAt);
        const uint64_t length =
            kPeResourceTableHeaderSize + uint64_t{entries} * kPeResourceEntrySize;
        if (length > resources.size - table.at ||
            !TakeWhole(kPeResourceTable, base + table.at, base + table.at + length) ||
            table.depth == kMaxResourceDepth) {
            continue;
        }
        uint8_t batch[kEntryBatch * kPeResourceEntrySize];
        for (uint32_t k = 0; k < entries && pending.size() < kMaxResourceTables; ++k) {
            if (k % kEntryBatch == 0) {
                const uint32_t count = std::min(entries - k, kEntryBatch);
                const uint64_t at = base + table.at + kPeResourceTableHeaderSize +
                                    uint64_t{k} * kPeResourceEntrySize;
                if (!source_.Read(at, batch, count * kPeResourceEntrySize)) {
                    return;
                }
            }
            const uint32_t target = ReadLe32(batch + (k % kEntryBatch) * kPeResourceEntrySize +
                                             kPeResourceEntryTargetAt);
            if (target & kSubdirectoryBit) {
                pending.push_back({target & ~kSubdirectoryBit, table.depth + 1});
            }
        }
    }
}

// The SECURITY entry holds a file offset, not an RVA: the certificates lie outside every section.
void PeLayout::Reading::ReadCertificates() {
    const Directory certificates = DirectoryEntry(kSecurityDirectory);
    if (certificates.rva != 0 && certificates.size != 0) {
        TakeWhole(kPeCertificateTable, certificates.rva,
                  uint64_t{certificates.rva} + certificates.size);
    }
}

void PeLayout::Read(const PeImageInfo& info, uint64_t fileSize, const FileReader& read,
                    size_t budget) {
    *this = PeLayout();
    Source source(read, fileSize, budget);
    Reading reading(*this, info, source);
    if (!reading.ReadHeaders()) {
        return;
    }
    reading.ReadSectionNames();
    reading.ReadDebug();
    reading.ReadExport();
    reading.ReadResources();
    reading.ReadCertificates();
    fields_ = reading.TakeFields();
    BuildNoise();
}

PeName PeLayout::FieldAt(uint64_t offset) const {
    const PeSpan* span = SpanAt(fields_, offset);
    if (span == nullptr) {
        return {};
    }
    const Placed& placed = placed_[span->owner];
    const auto within = static_cast<uint64_t>(static_cast<int64_t>(offset) - placed.base);
    const uint64_t record = placed.stride ? within / placed.stride : 0;
    const PeField* field =
        placed.structure->FieldAt(placed.stride ? within % placed.stride : within);
    if (field == nullptr && !placed.structure->fields.empty()) {
        return {};
    }
    return placed.structure->NameOf(record, field);
}

PeName PeLayout::SectionAt(uint64_t offset) const {
    const std::optional<uint32_t> index = sections_.AtOffset(offset);
    if (!index) {
        return {};
    }
    const SectionName& name = sectionNames_[*index];
    PeName found;
    return found.Append({name.text, name.size});
}

// Walks the records of each span whose structure has noise fields; only the debug directory (at
// most 256 entries) and the data directory (16) hold more than one record.
void PeLayout::BuildNoise() {
    std::map<std::string, uint32_t, std::less<>> indexes;
    auto add = [&](uint64_t begin, uint64_t end, const PeName& name) {
        if (begin >= end) {
            return;
        }
        auto it = indexes.find(name.View());
        if (it == indexes.end()) {
            it = indexes.emplace(name.View(), static_cast<uint32_t>(names_.size())).first;
            names_.emplace_back(name.View());
        }
        noise_.push_back({begin, end, it->second});
    };
    for (const PeSpan& span : fields_) {
        const Placed& placed = placed_[span.owner];
        const PeStructure& structure = *placed.structure;
        if (!structure.HasNoise()) {
            continue;
        }
        if (structure.wholeIsNoise) {
            add(span.begin, span.end, structure.NameOf(0, nullptr));
            continue;
        }
        const uint64_t stride = placed.stride;
        const auto from = static_cast<uint64_t>(static_cast<int64_t>(span.begin) - placed.base);
        const auto to = static_cast<uint64_t>(static_cast<int64_t>(span.end - 1) - placed.base);
        const uint64_t last = stride ? to / stride : 0;
        for (uint64_t record = stride ? from / stride : 0; record <= last; ++record) {
            if (structure.noiseRecord >= 0 && record != uint64_t(structure.noiseRecord)) {
                continue;
            }
            const auto start = static_cast<uint64_t>(placed.base) + record * stride;
            for (const PeField& field : structure.fields) {
                if (!field.noise) {
                    continue;
                }
                const uint64_t end = field.size == PeField::kToRecordEnd
                                         ? span.end
                                         : start + field.offset + field.size;
                add(std::max(span.begin, start + field.offset), std::min(span.end, end),
                    structure.NameOf(record, &field));
            }
        }
    }
}

}  // namespace tandrel
