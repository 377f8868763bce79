// Where each file offset of a PE image's first file lands: the section whose raw data holds it,
// the header or directory field that holds it, and which fields are build noise (time stamps,
// the checksum, the CodeView GUID and age, the certificates).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/pe_fields.h"
#include "engine/pe_image.h"

namespace tandrel {

// Positional reads of the first file: count bytes at offset into out; false when any part lies
// outside the file or cannot be read.
using FileReader = std::function<bool(uint64_t offset, void* out, size_t count)>;

struct PeRange {
    uint64_t begin;
    uint64_t end;   // exclusive
    uint32_t name;  // an index for PeLayout::Name
};

class PeLayout {
  public:
    // Reads the structures of the image whose header ParsePeHeader accepted into info, through
    // read only and at most budget bytes in all; fileSize is the first file's size. What cannot
    // be read within the file and the budget, or is not to be trusted (a directory outside its
    // section or the file, over another structure, too large, or a resource table reached
    // again), is left unnamed. Replaces whatever an earlier call read.
    void Read(const PeImageInfo& info, uint64_t fileSize, const FileReader& read, size_t budget);

    // The structure field that holds the byte at offset ("OptionalHeader.CheckSum"); where two
    // structures overlap, the first in the order of the report's field list. Nothing found
    // outside every structure. O(log n) in the structures read.
    PeName FieldAt(uint64_t offset) const;
    // The first section in table order whose raw data holds offset (the entry FileOffsetToRva
    // uses for offsets below 4 GiB), named as its table entry spells it with trailing NULs
    // dropped; an empty name is found too. Nothing found outside every section, and for every
    // section when the table could not be read again as ParsePeHeader saw it.
    PeName SectionAt(uint64_t offset) const;

    // The bytes of the build-noise fields, sorted and disjoint, one range for each field (each
    // resource table's time stamp is one), less any bytes an earlier structure holds.
    std::span<const PeRange> NoiseRanges() const { return noise_; }
    std::string_view Name(uint32_t index) const { return names_[index]; }

  private:
    // A structure as placed: record k starts at base + k * stride (stride 0: one record). The
    // section table's base lies before the file when SizeOfOptionalHeader is negative.
    struct Placed {
        const PeStructure* structure;
        int64_t base;
        uint64_t stride;
    };
    struct SectionName {
        char text[8];
        uint8_t size;
    };

    class Reading;

    void BuildNoise();

    std::vector<Placed> placed_;
    std::vector<PeSpan> fields_;  // sorted, disjoint; owner: an index into placed_
    std::vector<SectionName> sectionNames_;
    SectionMap sections_;  // its indexes: sectionNames_
    std::vector<PeRange> noise_;
    std::vector<std::string> names_;
};

}  // namespace tandrel
