#include "engine/chunk_pair.h"

#include <algorithm>
#include <cstring>

#include "engine/byte_scan.h"

namespace tandrel {

ChunkPair::ChunkPair()
    : chunks_{ChunkBuffer(kChunkSize), ChunkBuffer(kChunkSize)},
      pieces_{ChunkBuffer(kPieceSize), ChunkBuffer(kPieceSize)} {
    segments_.reserve(kChunkSize / kPieceSize);
}

bool ChunkPair::Open(const char* firstPath, const char* secondPath) {
    for (const ChunkBuffer* buffer : {&chunks_[0], &chunks_[1], &pieces_[0], &pieces_[1]}) {
        if (buffer->Data() == nullptr) {
            return false;
        }
    }
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

void ChunkPair::AddPiece(size_t begin, size_t end) {
    if (!segments_.empty() && segments_.back().end == begin) {
        segments_.back().end = end;
    } else {
        segments_.push_back({begin, end});
    }
}

bool ChunkPair::ReadChunk() {
    segments_.clear();
    compareLength_ = 0;
    const bool keepFirstWhole = firstChunk_;
    firstChunk_ = false;
    const auto common = static_cast<size_t>(std::min({left_[0], left_[1], uint64_t{kChunkSize}}));
    const size_t target[2] = {
        keepFirstWhole ? static_cast<size_t>(std::min<uint64_t>(left_[0], kChunkSize)) : common,
        common};

    size_t got[2] = {0, 0};
    bool ended[2] = {target[0] == 0, target[1] == 0};
    // While comparing, both files have been read to the same position. Once either ends,
    // nothing more of this chunk can be compared; only the first chunk of the first file is
    // still read to its target, for the header reader.
    bool comparing = !ended[0] && !ended[1];
    for (;;) {
        const bool read[2] = {!ended[0] && (comparing || keepFirstWhole), !ended[1] && comparing};
        if (!read[0] && !read[1]) {
            break;
        }
        size_t count[2] = {0, 0};
        for (int k = 0; k < 2; ++k) {
            if (!read[k]) {
                continue;
            }
            const size_t ask = std::min(kPieceSize, target[k] - got[k]);
            if (!files_[k].Read(pieces_[k].Data(), ask, count[k])) {
                segments_.clear();
                compareLength_ = 0;
                return false;
            }
            endedEarly_ = endedEarly_ || count[k] < ask;
            ended[k] = count[k] < ask || got[k] + count[k] == target[k];
        }
        if (keepFirstWhole) {
            std::memcpy(chunks_[0].Data() + got[0], pieces_[0].Data(), count[0]);
        }
        if (comparing) {
            const size_t at = got[0];
            const size_t both = std::min(count[0], count[1]);
            if (std::memcmp(pieces_[0].Data(), pieces_[1].Data(), both) != 0) {
                if (!keepFirstWhole) {
                    std::memcpy(chunks_[0].Data() + at, pieces_[0].Data(), both);
                }
                std::memcpy(chunks_[1].Data() + at, pieces_[1].Data(), both);
                AddPiece(at, at + both);
            }
            compareLength_ += both;
            comparing = !ended[0] && !ended[1];
        }
        got[0] += count[0];
        got[1] += count[1];
    }
    left_[0] -= got[0];
    left_[1] -= got[1];
    return true;
}

}  // namespace tandrel
