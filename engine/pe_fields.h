// The PE structures whose fields a report names, described as field tables, and the names the
// report gives their bytes ("SectionHeader[2].PointerToRawData").
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "engine/pe_format.h"

namespace tandrel {

// A name held in place, so a lookup allocates nothing and the name outlives what it names. It may
// hold NUL bytes (a section name spelt "a\0b"), and a found name may be empty.
class PeName {
  public:
    static constexpr size_t kCapacity = 64;

    explicit operator bool() const { return found_; }
    std::string_view View() const { return {text_, size_}; }
    // Marks the name found and adds part, cut at the capacity.
    PeName& Append(std::string_view part);

  private:
    char text_[kCapacity];
    uint8_t size_ = 0;
    bool found_ = false;
};

struct PeField {
    static constexpr uint32_t kToRecordEnd = UINT32_MAX;

    uint32_t offset;   // from the record's start
    uint32_t size;     // or kToRecordEnd
    const char* name;  // null: the bytes bear the structure's own name
    bool noise;
};

struct PeStructure {
    enum class Index { kNone, kNumber, kDirectory };  // how a record's index is spelt

    const char* name;
    std::span<const PeField> fields;  // in offset order; empty: the structure's name throughout
    Index index;
    // With noise fields, the one record whose noise fields are noise (the SECURITY entry of the
    // data directory); -1: every record's.
    int64_t noiseRecord;
    bool wholeIsNoise;  // for a structure without fields

    bool HasNoise() const;
    // The field at within bytes from a record's start, or null when none holds them.
    const PeField* FieldAt(uint64_t within) const;
    // "name", "name[index]", then ".field" when field names one.
    PeName NameOf(uint64_t record, const PeField* field) const;
};

// In the order the report lists them: where two structures overlap, the earlier one's name wins.
extern const PeStructure kPeDosHeader;
extern const PeStructure kPeDosStub;
extern const PeStructure kPeSignature;
extern const PeStructure kPeFileHeader;
extern const PeStructure kPeOptionalHeader32;
extern const PeStructure kPeOptionalHeader64;
extern const PeStructure kPeDataDirectory;  // record k: the entry of directory k
extern const PeStructure kPeSectionHeader;
extern const PeStructure kPeDebugDirectory;
extern const PeStructure kPeCodeViewRsds;
extern const PeStructure kPeCodeViewNb10;
extern const PeStructure kPeExportDirectory;
extern const PeStructure kPeResourceTable;  // one table: its header and its entries
extern const PeStructure kPeCertificateTable;

// Sizes of the fixed records, as the tables above describe them.
inline constexpr uint32_t kPeDosHeaderSize = 64;
inline constexpr uint32_t kPeOptionalHeader32Size = 96;
inline constexpr uint32_t kPeOptionalHeader64Size = 112;
inline constexpr uint32_t kPeDataDirectoryEntrySize = 8;
inline constexpr uint32_t kPeDebugDirectorySize = 28;
inline constexpr uint32_t kPeExportDirectorySize = 40;
inline constexpr uint32_t kPeResourceTableHeaderSize = 16;
inline constexpr uint32_t kPeResourceEntrySize = 8;

}  // namespace tandrel
