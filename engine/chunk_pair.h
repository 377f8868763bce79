// The two inputs of a comparison, read chunk by chunk in lockstep.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "engine/pe_image.h"
#include "platform/chunk_buffer.h"
#include "platform/input_file.h"
#include "platform/mapped_window.h"

namespace tandrel {

inline constexpr size_t kChunkSize = 16777216;

// Each chunk is compared in small pieces. On Linux the pieces are read in place from a window of
// each file mapped for that chunk; elsewhere, or when a file cannot be mapped, they are read
// into two staging buffers that stay in the processor's cache. A piece that is equal in both
// files is finished there; only pieces that hold a difference are copied to their places in the
// chunk buffers, where the records read them. Equal stretches so cost one pass over the page
// cache instead of a trip through 32 MiB of cold buffers. The first file's PE header is read
// from its first chunk as it is read.
class ChunkPair {
  public:
    struct Segment {
        size_t begin;
        size_t end;  // exclusive
    };

    ChunkPair();

    // Opens both files and takes their sizes; false when either cannot be opened or a buffer
    // cannot be had. Neither file is read past the size it had here, so a file that grows
    // meanwhile is compared as it was. Reading the first chunk fills peImage with the first
    // file's PE facts when it is an image.
    bool Open(const char* firstPath, const char* secondPath, PeImageInfo& peImage);

    // Reads the next chunk of both files, never past the smaller remaining size (only the first
    // file's first chunk is read on, for the header reader). Returns false when a read fails or
    // a mapped file was cut short while it was read; the chunk then has nothing to compare.
    bool ReadChunk();
    // A file returned fewer bytes than its size promised (it shrank, or its size lied). What
    // both files returned up to there is compared; no chunk is read after this one, since any
    // further bytes could pair different offsets.
    bool EndedEarly() const { return endedEarly_; }
    // Once the first chunk is read: the first file is a PE image, its facts in Open's peImage.
    bool FirstIsPeImage() const { return isPe_; }

    uint64_t FirstSize() const { return sizes_[0]; }
    uint64_t SecondSize() const { return sizes_[1]; }
    const uint8_t* First() const { return chunks_[0].Data(); }
    const uint8_t* Second() const { return chunks_[1].Data(); }

    // Positions of the current chunk that are compared: the smaller of the two counts read.
    size_t CompareLength() const { return compareLength_; }
    // The stretches of [0, CompareLength()) that may hold differences, in order. Outside them
    // the two files are equal; each stretch ends at an equal byte or at the compare length.
    std::span<const Segment> Segments() const { return {segments_.data(), segmentCount_}; }

  private:
    static constexpr size_t kPieceSize = 65536;

    // Maps target bytes of each file from where it was left, and sets the compare length; false
    // when either file cannot be mapped.
    bool MapWindows(const size_t (&target)[2]);
    // Compares the mapped windows in place and unmaps them; false when a file was cut short.
    bool CompareWindows(bool firstChunk);
    // Reads target bytes of each file through the staging pieces.
    bool ReadPieces(const size_t (&target)[2], bool firstChunk);

    InputFile files_[2];
    uint64_t sizes_[2] = {0, 0};
    uint64_t left_[2] = {0, 0};  // not yet read of the size at opening
    ChunkBuffer chunks_[2];
    std::optional<ChunkBuffer> pieces_[2];  // only once the files are read rather than mapped
    PeImageInfo* peImage_ = nullptr;
    bool isPe_ = false;
    size_t compareLength_ = 0;
    bool firstChunk_ = true;
    bool endedEarly_ = false;
    // Reading through mapped windows until a window cannot be mapped, then reading on from
    // there.
    bool mapping_ = true;
    MappedWindow windows_[2];
    std::vector<Segment> segments_;  // room for one a piece
    size_t segmentCount_ = 0;
};

}  // namespace tandrel
