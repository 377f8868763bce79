#include "engine/chunk_pair.h"

#include <algorithm>
#include <cstring>

namespace tandrel {
namespace {

// Compared parts of a window are given back in steps of this size, so that a comparison of
// files larger than a window holds little more than its two chunk buffers in memory.
constexpr size_t kReleaseStep = 4194304;

constexpr char kChanged[] = "changed while it was compared";

// One chunk's comparison in place: plain data only, since a fault leaves it by a jump.
struct WindowScan {
    MappedWindow* windows[2];
    uint8_t* chunk[2];
    size_t length;
    size_t pieceSize;
    bool release;  // give back compared steps of the windows
    ChunkPair::Segment* segments;
    size_t segmentCount;
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

// Compares the windows piece by piece; pieces that differ are copied into the chunk buffers and
// listed, adjacent ones joined.
void ScanWindows(void* context) {
    auto& scan = *static_cast<WindowScan*>(context);
    const uint8_t* const files[2] = {scan.windows[0]->Data(), scan.windows[1]->Data()};
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

ChunkPair::ChunkPair(ComparisonScratch* shared)
    : chunks_(shared != nullptr ? shared->chunks : own_.emplace().chunks),
      files_(shared != nullptr ? shared->files : own_->files) {
    segments_.resize(kChunkSize / kPieceSize);
}

ChunkPair::~ChunkPair() {
    windows_[0].Unmap();
    windows_[1].Unmap();
    files_[0].Close();
    files_[1].Close();
}

bool ChunkPair::Open(const char* firstPath, const char* secondPath, const CompareRange& range,
                     Trouble& trouble) {
    paths_[0] = firstPath;
    paths_[1] = secondPath;
    for (int k = 0; k < 2; ++k) {
        if (!files_[k].Open(paths_[k], trouble)) {
            return false;
        }
        sizes_[k] = files_[k].Size();
        next_[k] = std::min(range.skips[k], sizes_[k]);
        lengths_[k] = std::min(sizes_[k] - next_[k], range.limit);
        left_[k] = lengths_[k];
    }
    if (chunks_[0].Data() == nullptr || chunks_[1].Data() == nullptr) {
        trouble.Set("", "not enough memory");
        return false;
    }
    return true;
}

bool ChunkPair::ReadChunk(Trouble& trouble) {
    segmentCount_ = 0;
    compareLength_ = 0;
    const auto count = static_cast<size_t>(std::min({left_[0], left_[1], uint64_t{kChunkSize}}));
    if (mapping_) {
        if (MapWindows(count)) {
            return CompareWindows(trouble);
        }
        // Reading takes over where the windows would have begun, so the report is the same as
        // if it had read from the start.
        mapping_ = false;
    }
    if (!ReadPieces(count, trouble)) {
        segmentCount_ = 0;
        compareLength_ = 0;
        return false;
    }
    return true;
}

bool ChunkPair::ReadPieces(size_t count, Trouble& trouble) {
    for (std::optional<ChunkBuffer>& piece : pieces_) {
        if (!piece.has_value()) {
            piece.emplace(kPieceSize);
        }
        if (piece->Data() == nullptr) {
            trouble.Set("", "not enough memory");
            return false;
        }
    }
    const uint8_t* const pieces[2] = {pieces_[0]->Data(), pieces_[1]->Data()};
    // Both files are read to the same position; once either ends, nothing more of this chunk
    // can be compared.
    while (compareLength_ < count && !endedEarly_) {
        const size_t ask = std::min(kPieceSize, count - compareLength_);
        size_t got[2] = {0, 0};
        for (int k = 0; k < 2; ++k) {
            if (!files_[k].ReadAt(next_[k], pieces_[k]->Data(), ask, got[k])) {
                trouble.Set(paths_[k], "cannot be read");
                return false;
            }
            if (got[k] < ask && !endedEarly_) {
                endedEarly_ = true;
                endedFile_ = k;
            }
        }
        const size_t both = std::min(got[0], got[1]);
        const size_t at = compareLength_;
        if (std::memcmp(pieces[0], pieces[1], both) != 0) {
            std::memcpy(chunks_[0].Data() + at, pieces[0], both);
            std::memcpy(chunks_[1].Data() + at, pieces[1], both);
            AddSegment(segments_.data(), segmentCount_, at, at + both);
        }
        compareLength_ += both;
        for (int k = 0; k < 2; ++k) {
            next_[k] += both;
            left_[k] -= both;
        }
    }
    if (const int changed = ChangedFile(); changed >= 0) {
        trouble.Set(paths_[changed], kChanged);
        return false;
    }
    return true;
}

bool ChunkPair::CheckLongerEnd(Trouble& trouble) {
    if (endedEarly_ || lengths_[0] == lengths_[1]) {
        return true;
    }
    const int longer = lengths_[0] > lengths_[1] ? 0 : 1;
    uint8_t byte = 0;
    size_t got = 0;
    if (!files_[longer].ReadAt(next_[longer], &byte, 1, got)) {
        trouble.Set(paths_[longer], "cannot be read");
        return false;
    }
    if (got == 0) {
        endedEarly_ = true;
        endedFile_ = longer;
    }
    return true;
}

bool ChunkPair::MapWindows(size_t count) {
    for (int k = 0; k < 2; ++k) {
        if (!windows_[k].Map(files_[k], next_[k], count)) {
            windows_[0].Unmap();
            return false;
        }
    }
    // A file cut shorter since it was opened maps short, as a read would end short.
    compareLength_ = std::min(windows_[0].Size(), windows_[1].Size());
    if (compareLength_ < count) {
        endedEarly_ = true;
        endedFile_ = windows_[0].Size() < count ? 0 : 1;
    }
    // A file larger than a window is read in large requests: the first window now, each next
    // one while the current one is compared.
    const bool first = left_[0] == lengths_[0];
    const uint64_t after = std::min(left_[0], left_[1]) - compareLength_;
    for (int k = 0; k < 2; ++k) {
        if (sizes_[k] <= kChunkSize) {
            continue;
        }
        if (first) {
            MappedWindow::Prefetch(files_[k], next_[k], windows_[k].Size());
        }
        if (!endedEarly_ && after > 0) {
            MappedWindow::Prefetch(files_[k], next_[k] + compareLength_,
                                   static_cast<size_t>(std::min<uint64_t>(after, kChunkSize)));
        }
    }
    for (int k = 0; k < 2; ++k) {
        next_[k] += compareLength_;
        left_[k] -= compareLength_;
    }
    return true;
}

bool ChunkPair::CompareWindows(Trouble& trouble) {
    // The segment list has room for every piece of a chunk, so the scan never allocates.
    WindowScan scan = {{&windows_[0], &windows_[1]},
                       {chunks_[0].Data(), chunks_[1].Data()},
                       compareLength_,
                       kPieceSize,
                       std::max(sizes_[0], sizes_[1]) > kChunkSize,
                       segments_.data(),
                       0};
    const bool finished = RunGuardedRead(ScanWindows, &scan);
    const int changed = ChangedFile();
    windows_[0].Unmap();
    windows_[1].Unmap();
    if (!finished || changed >= 0) {
        segmentCount_ = 0;
        compareLength_ = 0;
        trouble.Set(paths_[changed >= 0 ? changed : 0], kChanged);
        return false;
    }
    segmentCount_ = scan.segmentCount;
    return true;
}

int ChunkPair::ChangedFile() const {
    for (int k = 0; k < 2; ++k) {
        // A file cut short under its window may have shown zeros for bytes it no longer holds;
        // one that changed in any other way, bytes it never held together.
        if (!windows_[k].IsBacked(files_[k]) || !files_[k].UnchangedSinceOpen()) {
            return k;
        }
    }
    return -1;
}

}  // namespace tandrel
