#include "engine/image_header.h"

#include <algorithm>
#include <cstring>

#include "engine/chunk_pair.h"

namespace tandrel {
namespace {

// The first read takes the DOS header and, for every usual image, the PE header and the section
// table behind it.
constexpr size_t kFirstRead = 4096;

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
    // Files too short or too large to be images: nothing to read.
    if (size < kPeSmallestImage || size > kPeLargestImage) {
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
    // The header reader sees the buffer as the file's first chunk, read as far as it looks; what
    // the file did not fill reads as zero, whatever an earlier file left there.
    const PeBytes read = [&](uint64_t offset, uint8_t* out, size_t count) {
        if (!readTo(static_cast<int64_t>(offset + count))) {
            return false;
        }
        const size_t filled = offset < bytesRead ? std::min<size_t>(count, bytesRead - offset) : 0;
        std::memcpy(out, buffer + offset, filled);
        std::memset(out + filled, 0, count - filled);
        return true;
    };
    if (!readTo(kFirstRead)) {
        return false;
    }
    // Other files often hold a few megabytes' worth where e_lfanew would be (an ELF's section
    // counts): look for the signature before reading all that way.
    const auto lfanew = static_cast<int32_t>(ReadLe32(buffer + kPeLfanewAt));
    if (lfanew > 0 && !SignatureAt(file, lfanew, bytesRead, size)) {
        return false;
    }
    return ParsePeHeader(info, read, size, kChunkSize);
}

}  // namespace tandrel
