// The PE header as this program reads it: little-endian fields assembled byte by byte (so no
// alignment is needed), where they lie, and one reading of the file header and section table
// that every view of an image shares.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace tandrel {

inline uint16_t ReadLe16(const uint8_t* at) {
    return static_cast<uint16_t>(at[0] | at[1] << 8);
}
inline uint32_t ReadLe32(const uint8_t* at) {
    return ReadLe16(at) | uint32_t{ReadLe16(at + 2)} << 16;
}
inline uint64_t ReadLe64(const uint8_t* at) {
    return ReadLe32(at) | uint64_t{ReadLe32(at + 4)} << 32;
}

// Only files of 80 bytes up to 2 GiB less one can be images: the length is taken as signed.
inline constexpr uint64_t kPeSmallestImage = 80;
inline constexpr uint64_t kPeLargestImage = 0x7FFFFFFF;
inline constexpr int64_t kPeLfanewAt = 60;  // e_lfanew, signed

// From e_lfanew: the signature, the file header, then the optional header.
inline constexpr uint16_t kPeSignatureLetters = 'P' | 'E' << 8;
inline constexpr uint32_t kPeSignatureSize = 4;
inline constexpr uint32_t kPeFileHeaderSize = 20;
inline constexpr int64_t kPeMachineAt = 4;
inline constexpr int64_t kPeNumberOfSectionsAt = 6;
inline constexpr int64_t kPeSizeOfOptionalHeaderAt = 20;  // signed
inline constexpr int64_t kPeOptionalHeaderAt =
    kPeSignatureSize + kPeFileHeaderSize;  // its Magic first
inline constexpr int64_t kPeImageBase64At = 48;
inline constexpr int64_t kPeImageBase32At = 52;
// Both image bases end here: the last header field read before the section table.
inline constexpr int64_t kPeHeaderFieldsEnd = 56;

inline constexpr uint16_t kPe32PlusMagic = 0x20B;  // any other Magic counts as PE32
inline constexpr uint16_t kPeMachineI386 = 0x14C;
inline constexpr uint16_t kPeMachineAmd64 = 0x8664;

// A section header and its fields.
inline constexpr uint32_t kPeSectionHeaderSize = 40;
inline constexpr size_t kPeSectionVirtualSizeAt = 8;
inline constexpr size_t kPeSectionVirtualAddressAt = 12;
inline constexpr size_t kPeSectionSizeOfRawDataAt = 16;
inline constexpr size_t kPeSectionPointerToRawDataAt = 20;
inline constexpr size_t kPeSectionCharacteristicsAt = 36;
inline constexpr uint32_t kPeSectionContainsCode = 0x00000020;
inline constexpr uint32_t kPeSectionMemoryExecute = 0x20000000;

// In a data directory entry (its RVA first), a debug directory entry, a resource table and
// its entries, and the smallest CodeView records.
inline constexpr size_t kPeDirectorySizeAt = 4;
inline constexpr size_t kPeDebugTypeAt = 12;
inline constexpr size_t kPeDebugSizeOfDataAt = 16;
inline constexpr size_t kPeDebugPointerToRawDataAt = 24;
inline constexpr size_t kPeResourceNamedEntriesAt = 12;
inline constexpr size_t kPeResourceIdEntriesAt = 14;
inline constexpr size_t kPeResourceEntryTargetAt = 4;
inline constexpr uint32_t kPeCodeViewRsdsSize = 24;  // signature, GUID, age
inline constexpr uint32_t kPeCodeViewNb10Size = 16;  // signature, offset, time stamp, age

// Reads count bytes of the first file at offset into out, the positions past its end as zeros;
// false when they cannot be read.
using PeBytes = std::function<bool(uint64_t offset, uint8_t* out, size_t count)>;

struct PeHeaders {
    uint16_t machine = 0;
    uint16_t numberOfSections = 0;
    bool is64 = false;
    uint64_t imageBase = 0;  // PE32: the 32-bit field
    // The section table's start, before the file when SizeOfOptionalHeader is negative.
    int64_t tableStart = 0;
    // The entries that lie wholly inside the file's first window bytes and not before the file,
    // in table order, kPeSectionHeaderSize bytes each.
    std::vector<uint8_t> table;
};

// The index of the first section header that starts inside the file.
int64_t PeFirstEntryInFile(int64_t tableStart);

// Reads the headers of a file of fileSize bytes, looking no further than its first window bytes.
// False for no image (too short, 2 GiB or more, e_lfanew not positive, not below the file's size
// or its header fields past the window, no "PE" there) and when a read fails.
bool ReadPeHeaders(const PeBytes& read, uint64_t fileSize, int64_t window, PeHeaders& headers);

}  // namespace tandrel
