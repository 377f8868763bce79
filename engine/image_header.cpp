#include "engine/image_header.h"

#include <algorithm>
#include <cstring>

#include "engine/chunk_pair.h"

namespace tandrel {
namespace {

// The first read takes the DOS header and, for every usual image, the PE header and the section
// table behind it.
constexpr size_t kFirstRead = 4096;

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
    return readTo(kFirstRead) && ParsePeHeader(info, read, size, kChunkSize);
}

}  // namespace tandrel
