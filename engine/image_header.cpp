#include "engine/image_header.h"

#include <algorithm>

#include "engine/chunk_pair.h"

namespace tandrel {
namespace {

// The first read takes the DOS header and, for every usual image, the PE header and the section
// table behind it.
constexpr size_t kFirstRead = 4096;
// The header reader looks at most 56 bytes past e_lfanew before the section table.
constexpr int64_t kHeaderFieldsEnd = 56;

int64_t Field(const uint8_t* bytes, int64_t at, int width, bool isSigned) {
    uint64_t value = 0;
    for (int k = width - 1; k >= 0; --k) {
        value = value << 8 | bytes[at + k];
    }
    if (isSigned && width == 2) {
        return static_cast<int16_t>(value);
    }
    return isSigned ? static_cast<int32_t>(value) : static_cast<int64_t>(value);
}

// Whether the image signature's first two bytes ("PE") are at offset at, where it lies past
// what has been read and inside the file; true when it lies in what was read (the parser looks).
// A failed read says true, so that the reading proper meets the failure.
bool SignatureAt(const InputFile& file, int64_t at, size_t bytesRead, uint64_t size) {
    if (at + 2 <= static_cast<int64_t>(bytesRead)) {
        return true;
    }
    if (static_cast<uint64_t>(at) >= size) {
        return false;
    }
    uint8_t signature[2] = {0, 0};
    size_t got = 0;
    return !file.ReadAt(static_cast<uint64_t>(at), signature, sizeof signature, got) ||
           (got == sizeof signature && signature[0] == 'P' && signature[1] == 'E');
}

}  // namespace

bool ReadImageHeader(InputFile& file, uint8_t* buffer, PeImageInfo& info, size_t& bytesRead,
                     bool& failed) {
    bytesRead = 0;
    failed = false;
    const uint64_t size = file.Size();
    // Files shorter than 80 bytes or of 2 GiB and more are never images: nothing to read.
    if (size < 80 || size > 0x7FFFFFFF) {
        return false;
    }
    const auto end = static_cast<int64_t>(std::min<uint64_t>(size, kChunkSize));
    // Reads the file up to want (within end); bytes it does not return stay zero.
    auto readTo = [&](int64_t want) {
        want = std::min(want, end);
        size_t got = 0;
        if (want > static_cast<int64_t>(bytesRead) &&
            !file.ReadAt(bytesRead, buffer + bytesRead, static_cast<size_t>(want) - bytesRead,
                         got)) {
            failed = true;
        }
        bytesRead += got;
        return !failed;
    };
    if (!readTo(kFirstRead)) {
        return false;
    }
    const int64_t lfanew = Field(buffer, 60, 4, true);
    if (lfanew > 0 && lfanew + kHeaderFieldsEnd <= static_cast<int64_t>(kChunkSize)) {
        // Other files often hold a few megabytes' worth there (an ELF's section counts): look
        // for the signature before reading all that way.
        if (!SignatureAt(file, lfanew, bytesRead, size)) {
            return false;
        }
        if (!readTo(lfanew + kHeaderFieldsEnd)) {
            return false;
        }
        const int64_t sections = Field(buffer, lfanew + 6, 2, false);
        const int64_t optionalHeader = Field(buffer, lfanew + 20, 2, true);
        if (!readTo(lfanew + 24 + optionalHeader + 40 * sections)) {
            return false;
        }
    }
    return ParsePeHeader(info, {buffer, bytesRead, kChunkSize}, size);
}

}  // namespace tandrel
