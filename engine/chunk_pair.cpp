#include "engine/chunk_pair.h"

#include <algorithm>
#include <cstring>

namespace tandrel {
namespace {

// Compared parts of a window are given back in steps of this size, so that a comparison of
// files larger than a window holds little more than its two chunk buffers in memory.
constexpr size_t kReleaseStep = 4194304;

// One chunk's comparison in place: plain data only, since a fault leaves it by a jump.
struct WindowScan {
    MappedWindow* windows[2];
    uint8_t* chunk[2];
    size_t length;
    size_t pieceSize;
    bool release;  // give back compared steps of the windows
    ChunkPair::Segment* segments;
    size_t segmentCount;
    // The first chunk's header, when it is read: the first file's size and where its facts go.
    PeImageInfo* peImage;
    uint64_t firstSize;
    bool isPe;
};

// Adds the stretch [begin, end) to a list of count stretches, joined to the last one when they
// touch.
void AddSegment(ChunkPair::Segment* segments, size_t& count, size_t begin, size_t end) {
    if (count > 0 && segments[count - 1].end == begin) {
        segments[count - 1].end = end;
    } else {
        segments[count++] = {begin, end};
    }
}

// Reads the first file's header from its window, then compares the windows piece by piece;
// pieces that differ are copied into the chunk buffers and listed, adjacent ones joined.
void ScanWindows(void* context) {
    auto& scan = *static_cast<WindowScan*>(context);
    const uint8_t* const files[2] = {scan.windows[0]->Data(), scan.windows[1]->Data()};
    if (scan.peImage != nullptr) {
        const FirstChunk chunk = {files[0], scan.windows[0]->Size(), kChunkSize};
        scan.isPe = ParsePeHeader(*scan.peImage, chunk, scan.firstSize);
    }
    for (size_t at = 0; at < scan.length; at += scan.pieceSize) {
        if (scan.release && at % kReleaseStep == 0 && at > 0) {
            scan.windows[0]->Release(at - kReleaseStep, at);
            scan.windows[1]->Release(at - kReleaseStep, at);
        }
        const size_t count = std::min(scan.pieceSize, scan.length - at);
        if (std::memcmp(files[0] + at, files[1] + at, count) == 0) {
            continue;
        }
        std::memcpy(scan.chunk[0] + at, files[0] + at, count);
        std::memcpy(scan.chunk[1] + at, files[1] + at, count);
        AddSegment(scan.segments, scan.segmentCount, at, at + count);
    }
}

}  // namespace

ChunkPair::ChunkPair() : chunks_{ChunkBuffer(kChunkSize), ChunkBuffer(kChunkSize)} {
    segments_.resize(kChunkSize / kPieceSize);
}

bool ChunkPair::Open(const char* firstPath, const char* secondPath, PeImageInfo& peImage) {
    if (chunks_[0].Data() == nullptr || chunks_[1].Data() == nullptr) {
        return false;
    }
    peImage_ = &peImage;
    const char* paths[2] = {firstPath, secondPath};
    for (int k = 0; k < 2; ++k) {
        if (!files_[k].Open(paths[k])) {
            return false;
        }
        sizes_[k] = files_[k].Size();
        left_[k] = sizes_[k];
    }
    return true;
}

bool ChunkPair::ReadChunk() {
    segmentCount_ = 0;
    compareLength_ = 0;
    const bool firstChunk = firstChunk_;
    firstChunk_ = false;
    // The first file's first chunk is read whole, even past the second file's end, for the
    // header reader.
    const auto common = static_cast<size_t>(std::min({left_[0], left_[1], uint64_t{kChunkSize}}));
    const size_t target[2] = {
        firstChunk ? static_cast<size_t>(std::min<uint64_t>(left_[0], kChunkSize)) : common,
        common};
    if (mapping_) {
        if (MapWindows(target)) {
            return CompareWindows(firstChunk);
        }
        // Reading takes over where the windows would have begun (mapping leaves the read
        // position at the start), so the report is the same as if it had read from the start.
        mapping_ = false;
        for (int k = 0; k < 2; ++k) {
            if (!files_[k].Seek(sizes_[k] - left_[k])) {
                return false;
            }
        }
    }
    // A file that changed while it was read may have shown bytes it never held together.
    if (!ReadPieces(target, firstChunk) || !files_[0].UnchangedSinceOpen() ||
        !files_[1].UnchangedSinceOpen()) {
        segmentCount_ = 0;
        compareLength_ = 0;
        return false;
    }
    return true;
}

bool ChunkPair::ReadPieces(const size_t (&target)[2], bool firstChunk) {
    for (std::optional<ChunkBuffer>& piece : pieces_) {
        if (!piece.has_value()) {
            piece.emplace(kPieceSize);
        }
        if (piece->Data() == nullptr) {
            return false;
        }
    }
    const uint8_t* const pieces[2] = {pieces_[0]->Data(), pieces_[1]->Data()};
    size_t got[2] = {0, 0};
    bool ended[2] = {target[0] == 0, target[1] == 0};
    // While comparing, both files have been read to the same position. Once either ends,
    // nothing more of this chunk can be compared; only the first chunk of the first file is
    // still read to its target, for the header reader.
    bool comparing = !ended[0] && !ended[1];
    for (;;) {
        const bool read[2] = {!ended[0] && (comparing || firstChunk), !ended[1] && comparing};
        if (!read[0] && !read[1]) {
            break;
        }
        size_t count[2] = {0, 0};
        for (int k = 0; k < 2; ++k) {
            if (!read[k]) {
                continue;
            }
            const size_t ask = std::min(kPieceSize, target[k] - got[k]);
            if (!files_[k].Read(pieces_[k]->Data(), ask, count[k])) {
                return false;
            }
            endedEarly_ = endedEarly_ || count[k] < ask;
            ended[k] = count[k] < ask || got[k] + count[k] == target[k];
        }
        if (firstChunk) {
            std::memcpy(chunks_[0].Data() + got[0], pieces[0], count[0]);
        }
        if (comparing) {
            const size_t at = got[0];
            const size_t both = std::min(count[0], count[1]);
            if (std::memcmp(pieces[0], pieces[1], both) != 0) {
                if (!firstChunk) {
                    std::memcpy(chunks_[0].Data() + at, pieces[0], both);
                }
                std::memcpy(chunks_[1].Data() + at, pieces[1], both);
                AddSegment(segments_.data(), segmentCount_, at, at + both);
            }
            compareLength_ += both;
            comparing = !ended[0] && !ended[1];
        }
        got[0] += count[0];
        got[1] += count[1];
    }
    left_[0] -= got[0];
    left_[1] -= got[1];
    if (firstChunk) {
        isPe_ = ParsePeHeader(*peImage_, {chunks_[0].Data(), got[0], kChunkSize}, sizes_[0]);
    }
    return true;
}

bool ChunkPair::MapWindows(const size_t (&target)[2]) {
    uint64_t at[2];
    for (int k = 0; k < 2; ++k) {
        at[k] = sizes_[k] - left_[k];
        if (!windows_[k].Map(files_[k], at[k], target[k])) {
            windows_[0].Unmap();
            return false;
        }
    }
    // A file cut shorter since it was opened maps short, as a read would end short.
    for (int k = 0; k < 2; ++k) {
        left_[k] -= windows_[k].Size();
        endedEarly_ = endedEarly_ || windows_[k].Size() < target[k];
    }
    compareLength_ = std::min(windows_[0].Size(), windows_[1].Size());
    // A file larger than a window is read in large requests: the first window now, each next
    // one while the current one is compared.
    const auto next = static_cast<size_t>(std::min({left_[0], left_[1], uint64_t{kChunkSize}}));
    for (int k = 0; k < 2; ++k) {
        if (sizes_[k] <= kChunkSize) {
            continue;
        }
        if (at[k] == 0) {
            MappedWindow::Prefetch(files_[k], 0, windows_[k].Size());
        }
        if (!endedEarly_) {
            MappedWindow::Prefetch(files_[k], at[k] + windows_[k].Size(), next);
        }
    }
    return true;
}

bool ChunkPair::CompareWindows(bool firstChunk) {
    // The segment list has room for every piece of a chunk, so the scan never allocates.
    WindowScan scan = {{&windows_[0], &windows_[1]},
                       {chunks_[0].Data(), chunks_[1].Data()},
                       compareLength_,
                       kPieceSize,
                       std::max(sizes_[0], sizes_[1]) > kChunkSize,
                       segments_.data(),
                       0,
                       firstChunk ? peImage_ : nullptr,
                       sizes_[0],
                       false};
    bool intact = RunGuardedRead(ScanWindows, &scan);
    // A file cut short under its window may have shown zeros for bytes it no longer holds; one
    // that changed in any other way, bytes it never held together.
    intact = intact && windows_[0].IsBacked(files_[0]) && windows_[1].IsBacked(files_[1]) &&
             files_[0].UnchangedSinceOpen() && files_[1].UnchangedSinceOpen();
    windows_[0].Unmap();
    windows_[1].Unmap();
    segmentCount_ = intact ? scan.segmentCount : 0;
    compareLength_ = intact ? compareLength_ : 0;
    isPe_ = firstChunk ? scan.isPe : isPe_;
    return intact;
}

}  // namespace tandrel
