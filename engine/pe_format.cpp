#include "engine/pe_format.h"

#include <algorithm>

namespace tandrel {

int64_t PeFirstEntryInFile(int64_t tableStart) {
    return tableStart >= 0 ? 0 : (-tableStart + kPeSectionHeaderSize - 1) / kPeSectionHeaderSize;
}

bool ReadPeHeaders(const PeBytes& read, uint64_t fileSize, int64_t window, PeHeaders& headers) {
    if (fileSize < kPeSmallestImage || fileSize > kPeLargestImage ||
        window < static_cast<int64_t>(kPeSmallestImage)) {
        return false;
    }
    uint8_t at60[4];
    if (!read(kPeLfanewAt, at60, sizeof at60)) {
        return false;
    }
    const int64_t lfanew = static_cast<int32_t>(ReadLe32(at60));
    if (lfanew <= 0 || static_cast<uint64_t>(lfanew) >= fileSize ||
        lfanew + kPeHeaderFieldsEnd > window) {
        return false;
    }
    uint8_t fields[kPeHeaderFieldsEnd];
    if (!read(lfanew, fields, sizeof fields) || ReadLe16(fields) != kPeSignatureLetters) {
        return false;
    }
    headers.machine = ReadLe16(fields + kPeMachineAt);
    headers.numberOfSections = ReadLe16(fields + kPeNumberOfSectionsAt);
    headers.is64 = ReadLe16(fields + kPeOptionalHeaderAt) == kPe32PlusMagic;
    headers.imageBase =
        headers.is64 ? ReadLe64(fields + kPeImageBase64At) : ReadLe32(fields + kPeImageBase32At);
    const auto optionalSize = static_cast<int16_t>(ReadLe16(fields + kPeSizeOfOptionalHeaderAt));
    headers.tableStart = lfanew + kPeOptionalHeaderAt + optionalSize;

    const int64_t first = PeFirstEntryInFile(headers.tableStart);
    const int64_t fitting =
        window > headers.tableStart ? (window - headers.tableStart) / kPeSectionHeaderSize : 0;
    const int64_t count =
        std::max<int64_t>(0, std::min<int64_t>(headers.numberOfSections, fitting) - first);
    headers.table.assign(static_cast<size_t>(count * kPeSectionHeaderSize), 0);
    return count == 0 ||
           read(static_cast<uint64_t>(headers.tableStart + first * kPeSectionHeaderSize),
                headers.table.data(), headers.table.size());
}

}  // namespace tandrel
