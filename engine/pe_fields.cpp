#include "engine/pe_fields.h"

#include <algorithm>
#include <charconv>
#include <string>

namespace tandrel {
namespace {

constexpr uint32_t kRest = PeField::kToRecordEnd;

constexpr PeField kDosHeaderFields[] = {
    {0, 2, "e_magic", false},     {2, 2, "e_cblp", false},     {4, 2, "e_cp", false},
    {6, 2, "e_crlc", false},      {8, 2, "e_cparhdr", false},  {10, 2, "e_minalloc", false},
    {12, 2, "e_maxalloc", false}, {14, 2, "e_ss", false},      {16, 2, "e_sp", false},
    {18, 2, "e_csum", false},     {20, 2, "e_ip", false},      {22, 2, "e_cs", false},
    {24, 2, "e_lfarlc", false},   {26, 2, "e_ovno", false},    {28, 8, "e_res", false},
    {36, 2, "e_oemid", false},    {38, 2, "e_oeminfo", false}, {40, 20, "e_res2", false},
    {60, 4, "e_lfanew", false},
};

constexpr PeField kFileHeaderFields[] = {
    {0, 2, "Machine", false},          {2, 2, "NumberOfSections", false},
    {4, 4, "TimeDateStamp", true},     {8, 4, "PointerToSymbolTable", false},
    {12, 4, "NumberOfSymbols", false}, {16, 2, "SizeOfOptionalHeader", false},
    {18, 2, "Characteristics", false},
};

constexpr PeField kOptionalHeader32Fields[] = {
    {0, 2, "Magic", false},
    {2, 1, "MajorLinkerVersion", false},
    {3, 1, "MinorLinkerVersion", false},
    {4, 4, "SizeOfCode", false},
    {8, 4, "SizeOfInitializedData", false},
    {12, 4, "SizeOfUninitializedData", false},
    {16, 4, "AddressOfEntryPoint", false},
    {20, 4, "BaseOfCode", false},
    {24, 4, "BaseOfData", false},
    {28, 4, "ImageBase", false},
    {32, 4, "SectionAlignment", false},
    {36, 4, "FileAlignment", false},
    {40, 2, "MajorOperatingSystemVersion", false},
    {42, 2, "MinorOperatingSystemVersion", false},
    {44, 2, "MajorImageVersion", false},
    {46, 2, "MinorImageVersion", false},
    {48, 2, "MajorSubsystemVersion", false},
    {50, 2, "MinorSubsystemVersion", false},
    {52, 4, "Win32VersionValue", false},
    {56, 4, "SizeOfImage", false},
    {60, 4, "SizeOfHeaders", false},
    {64, 4, "CheckSum", true},
    {68, 2, "Subsystem", false},
    {70, 2, "DllCharacteristics", false},
    {72, 4, "SizeOfStackReserve", false},
    {76, 4, "SizeOfStackCommit", false},
    {80, 4, "SizeOfHeapReserve", false},
    {84, 4, "SizeOfHeapCommit", false},
    {88, 4, "LoaderFlags", false},
    {92, 4, "NumberOfRvaAndSizes", false},
};

// PE32+ has no BaseOfData: its ImageBase and the four stack and heap sizes are 8 bytes wide.
constexpr PeField kOptionalHeader64Fields[] = {
    {0, 2, "Magic", false},
    {2, 1, "MajorLinkerVersion", false},
    {3, 1, "MinorLinkerVersion", false},
    {4, 4, "SizeOfCode", false},
    {8, 4, "SizeOfInitializedData", false},
    {12, 4, "SizeOfUninitializedData", false},
    {16, 4, "AddressOfEntryPoint", false},
    {20, 4, "BaseOfCode", false},
    {24, 8, "ImageBase", false},
    {32, 4, "SectionAlignment", false},
    {36, 4, "FileAlignment", false},
    {40, 2, "MajorOperatingSystemVersion", false},
    {42, 2, "MinorOperatingSystemVersion", false},
    {44, 2, "MajorImageVersion", false},
    {46, 2, "MinorImageVersion", false},
    {48, 2, "MajorSubsystemVersion", false},
    {50, 2, "MinorSubsystemVersion", false},
    {52, 4, "Win32VersionValue", false},
    {56, 4, "SizeOfImage", false},
    {60, 4, "SizeOfHeaders", false},
    {64, 4, "CheckSum", true},
    {68, 2, "Subsystem", false},
    {70, 2, "DllCharacteristics", false},
    {72, 8, "SizeOfStackReserve", false},
    {80, 8, "SizeOfStackCommit", false},
    {88, 8, "SizeOfHeapReserve", false},
    {96, 8, "SizeOfHeapCommit", false},
    {104, 4, "LoaderFlags", false},
    {108, 4, "NumberOfRvaAndSizes", false},
};

// Both are noise in the SECURITY entry only (PeStructure::noiseRecord).
constexpr PeField kDataDirectoryFields[] = {
    {0, 4, "VirtualAddress", true},
    {4, 4, "Size", true},
};
constexpr int64_t kSecurityDirectory = 4;
constexpr std::string_view kDirectoryNames[] = {
    "EXPORT", "IMPORT",       "RESOURCE",       "EXCEPTION", "SECURITY",    "BASERELOC",
    "DEBUG",  "ARCHITECTURE", "GLOBALPTR",      "TLS",       "LOAD_CONFIG", "BOUND_IMPORT",
    "IAT",    "DELAY_IMPORT", "COM_DESCRIPTOR", "RESERVED",
};

constexpr PeField kSectionHeaderFields[] = {
    {0, 8, "Name", false},
    {8, 4, "VirtualSize", false},
    {12, 4, "VirtualAddress", false},
    {16, 4, "SizeOfRawData", false},
    {20, 4, "PointerToRawData", false},
    {24, 4, "PointerToRelocations", false},
    {28, 4, "PointerToLinenumbers", false},
    {32, 2, "NumberOfRelocations", false},
    {34, 2, "NumberOfLinenumbers", false},
    {36, 4, "Characteristics", false},
};

constexpr PeField kDebugDirectoryFields[] = {
    {0, 4, "Characteristics", false},
    {4, 4, "TimeDateStamp", true},
    {8, 2, "MajorVersion", false},
    {10, 2, "MinorVersion", false},
    {12, 4, "Type", false},
    {16, 4, "SizeOfData", false},
    {20, 4, "AddressOfRawData", false},
    {24, 4, "PointerToRawData", false},
};

constexpr PeField kCodeViewRsdsFields[] = {
    {0, 4, "Signature", false},
    {4, 16, "Guid", true},
    {20, 4, "Age", true},
    {24, kRest, "PdbFileName", false},
};

constexpr PeField kCodeViewNb10Fields[] = {
    {0, 4, "Signature", false}, {4, 4, "Offset", false},           {8, 4, "TimeDateStamp", true},
    {12, 4, "Age", true},       {16, kRest, "PdbFileName", false},
};

constexpr PeField kExportDirectoryFields[] = {
    {0, 4, "Characteristics", false},
    {4, 4, "TimeDateStamp", true},
    {8, 2, "MajorVersion", false},
    {10, 2, "MinorVersion", false},
    {12, 4, "Name", false},
    {16, 4, "Base", false},
    {20, 4, "NumberOfFunctions", false},
    {24, 4, "NumberOfNames", false},
    {28, 4, "AddressOfFunctions", false},
    {32, 4, "AddressOfNames", false},
    {36, 4, "AddressOfNameOrdinals", false},
};

// Only the time stamp has a name of its own; the table's other bytes bear the structure's.
constexpr PeField kResourceTableFields[] = {
    {0, 4, nullptr, false},
    {4, 4, "TimeDateStamp", true},
    {8, kRest, nullptr, false},
};

// Each table covers its record byte by byte, in order.
constexpr bool Covers(std::span<const PeField> fields, uint32_t recordSize) {
    uint32_t at = 0;
    for (const PeField& field : fields) {
        if (field.offset != at) {
            return false;
        }
        at = field.size == kRest ? recordSize : at + field.size;
    }
    return at == recordSize;
}
static_assert(Covers(kDosHeaderFields, kPeDosHeaderSize));
static_assert(Covers(kFileHeaderFields, kPeFileHeaderSize));
static_assert(Covers(kOptionalHeader32Fields, kPeOptionalHeader32Size));
static_assert(Covers(kOptionalHeader64Fields, kPeOptionalHeader64Size));
static_assert(Covers(kDataDirectoryFields, kPeDataDirectoryEntrySize));
static_assert(Covers(kSectionHeaderFields, kPeSectionHeaderSize));
static_assert(Covers(kDebugDirectoryFields, kPeDebugDirectorySize));
static_assert(Covers(kExportDirectoryFields, kPeExportDirectorySize));

constexpr size_t Length(const char* text) {
    return std::char_traits<char>::length(text);
}

// The longest name a structure gives, with a record index of up to 20 digits.
constexpr size_t LongestName(const char* name, std::span<const PeField> fields,
                             size_t indexLength) {
    size_t field = 0;
    for (const PeField& f : fields) {
        field = std::max(field, f.name ? 1 + Length(f.name) : 0);
    }
    return Length(name) + (indexLength ? indexLength + 2 : 0) + field;
}
static_assert(LongestName("OptionalHeader.DataDirectory", kDataDirectoryFields,
                          Length("COM_DESCRIPTOR")) <= PeName::kCapacity);
static_assert(LongestName("SectionHeader", kSectionHeaderFields, 20) <= PeName::kCapacity);
static_assert(LongestName("DebugDirectory", kDebugDirectoryFields, 20) <= PeName::kCapacity);
static_assert(LongestName("OptionalHeader", kOptionalHeader32Fields, 0) <= PeName::kCapacity);

}  // namespace

using Index = PeStructure::Index;

const PeStructure kPeDosHeader = {"DosHeader", kDosHeaderFields, Index::kNone, -1, false};
const PeStructure kPeDosStub = {"DosStub", {}, Index::kNone, -1, false};
const PeStructure kPeSignature = {"Signature", {}, Index::kNone, -1, false};
const PeStructure kPeFileHeader = {"FileHeader", kFileHeaderFields, Index::kNone, -1, false};
const PeStructure kPeOptionalHeader32 = {"OptionalHeader", kOptionalHeader32Fields, Index::kNone,
                                         -1, false};
const PeStructure kPeOptionalHeader64 = {"OptionalHeader", kOptionalHeader64Fields, Index::kNone,
                                         -1, false};
const PeStructure kPeDataDirectory = {"OptionalHeader.DataDirectory", kDataDirectoryFields,
                                      Index::kDirectory, kSecurityDirectory, false};
const PeStructure kPeSectionHeader = {"SectionHeader", kSectionHeaderFields, Index::kNumber, -1,
                                      false};
const PeStructure kPeDebugDirectory = {"DebugDirectory", kDebugDirectoryFields, Index::kNumber, -1,
                                       false};
const PeStructure kPeCodeViewRsds = {"CodeView", kCodeViewRsdsFields, Index::kNone, -1, false};
const PeStructure kPeCodeViewNb10 = {"CodeView", kCodeViewNb10Fields, Index::kNone, -1, false};
const PeStructure kPeExportDirectory = {"ExportDirectory", kExportDirectoryFields, Index::kNone, -1,
                                        false};
const PeStructure kPeResourceTable = {"ResourceDirectory", kResourceTableFields, Index::kNone, -1,
                                      false};
const PeStructure kPeCertificateTable = {"CertificateTable", {}, Index::kNone, -1, true};

PeName& PeName::Append(std::string_view part) {
    const size_t count = std::min(part.size(), kCapacity - size_);
    std::copy_n(part.data(), count, text_ + size_);
    size_ = static_cast<uint8_t>(size_ + count);
    found_ = true;
    return *this;
}

bool PeStructure::HasNoise() const {
    return wholeIsNoise ||
           std::any_of(fields.begin(), fields.end(), [](const PeField& f) { return f.noise; });
}

const PeField* PeStructure::FieldAt(uint64_t within) const {
    for (const PeField& field : fields) {
        if (within >= field.offset &&
            (field.size == PeField::kToRecordEnd || within - field.offset < field.size)) {
            return &field;
        }
    }
    return nullptr;
}

PeName PeStructure::NameOf(uint64_t record, const PeField* field) const {
    PeName text;
    text.Append(name);
    if (index == Index::kDirectory) {
        const bool known = record < std::size(kDirectoryNames);
        text.Append("[").Append(known ? kDirectoryNames[record] : "?").Append("]");
    } else if (index == Index::kNumber) {
        char digits[20];
        const auto end = std::to_chars(digits, digits + sizeof digits, record).ptr;
        text.Append("[").Append({digits, static_cast<size_t>(end - digits)}).Append("]");
    }
    if (field != nullptr && field->name != nullptr) {
        text.Append(".").Append(field->name);
    }
    return text;
}

}  // namespace tandrel
