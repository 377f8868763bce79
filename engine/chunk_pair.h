// The two inputs of a comparison, read chunk by chunk in lockstep.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/chunk_buffer.h"
#include "platform/input_file.h"
#include "platform/mapped_window.h"
#include "platform/trouble.h"

namespace tandrel {

inline constexpr size_t kChunkSize = 16777216;

// The part of each file that is compared: skips[k] bytes of file k are passed over, then at most
// limit bytes of each are compared.
struct CompareRange {
    uint64_t skips[2] = {0, 0};
    uint64_t limit = UINT64_MAX;
};

// What a run over many pairs keeps from pair to pair: the two chunk buffers, so that their pages
// are faulted in once rather than once a pair (what an earlier pair left in them is never read:
// only bytes read or copied for the current chunk are), and the two input files, whose change
// watch is made once rather than torn down after each freshly written file.
struct ComparisonScratch {
    ChunkBuffer chunks[2] = {ChunkBuffer(kChunkSize), ChunkBuffer(kChunkSize)};
    InputFile files[2];
};

// Each chunk is compared in 64 KiB pieces, in place in mapped windows (Linux) or in two staging
// buffers that stay in the cache; only pieces that differ are copied to the chunk buffers, so
// equal stretches cost one pass over the page cache.
class ChunkPair {
  public:
    struct Segment {
        size_t begin;
        size_t end;  // exclusive
    };

    // With its own buffers and files, or with shared ones that outlive it (null: its own). The
    // files are closed when it ends.
    explicit ChunkPair(ComparisonScratch* shared = nullptr);
    ChunkPair(const ChunkPair&) = delete;
    ChunkPair& operator=(const ChunkPair&) = delete;
    ~ChunkPair();

    // Opens both files and takes their sizes; false, with the reason, when either cannot be
    // opened or a buffer cannot be had. Neither file is read past the size it had here, and a
    // change to either from here on voids the chunk it is seen in.
    bool Open(const char* firstPath, const char* secondPath, const CompareRange& range,
              Trouble& trouble);

    // Reads the next chunk of both files, at most the smaller remaining length of the range.
    // Returns false, with the reason, when a read fails or an input was cut or changed while the
    // chunk was compared; the chunk then has nothing to compare.
    bool ReadChunk(Trouble& trouble);
    // A file returned fewer bytes than its size promised (it shrank, or its size lied). What
    // both files returned up to there is compared; no chunk is read after this one, since any
    // further bytes could pair different offsets.
    bool EndedEarly() const { return endedEarly_; }
    // The file that ended early.
    int EndedFile() const { return endedFile_; }
    // Once the shorter range is compared: whether the longer file still holds the byte after it,
    // as its size promises (a size that lies, or a file that shrank, ends it early). False, with
    // the reason, when it cannot be read.
    bool CheckLongerEnd(Trouble& trouble);

    InputFile& File(int k) { return files_[k]; }
    const char* Path(int k) const { return paths_[k]; }
    uint64_t FileSize(int k) const { return sizes_[k]; }
    // Positions of file k inside the range: its size less the skip, at most the limit.
    uint64_t RangeLength(int k) const { return lengths_[k]; }
    // The first file's chunk buffer, free for other use before the first chunk.
    uint8_t* FirstChunkBuffer() { return chunks_[0].Data(); }
    // The current chunk's bytes of each file; valid inside the segments only.
    const uint8_t* FirstChunkBytes() const { return chunks_[0].Data(); }
    const uint8_t* SecondChunkBytes() const { return chunks_[1].Data(); }

    // Positions of the current chunk that are compared: the smaller of the two counts read.
    size_t CompareLength() const { return compareLength_; }
    // The stretches of [0, CompareLength()) that may hold differences, in order. Outside them
    // the two files are equal; each stretch ends at an equal byte or at the compare length.
    std::span<const Segment> Segments() const { return {segments_.data(), segmentCount_}; }

  private:
    static constexpr size_t kPieceSize = 65536;

    // Maps count bytes of each file from where it was left, and sets the compare length; false
    // when either file cannot be mapped.
    bool MapWindows(size_t count);
    // Compares the mapped windows in place and unmaps them; false when a file was cut short.
    bool CompareWindows(Trouble& trouble);
    // Reads count bytes of each file through the staging pieces.
    bool ReadPieces(size_t count, Trouble& trouble);
    // The file whose bytes cannot be trusted for the chunk just compared: cut short under its
    // window, or changed; -1 when both are as they were.
    int ChangedFile() const;

    const char* paths_[2] = {"", ""};
    uint64_t sizes_[2] = {0, 0};
    uint64_t lengths_[2] = {0, 0};
    uint64_t next_[2] = {0, 0};  // the file offset the next chunk starts at
    uint64_t left_[2] = {0, 0};  // not yet read of the range
    std::optional<ComparisonScratch> own_;
    ChunkBuffer* chunks_;                   // own_'s or the shared ones
    InputFile* files_;                      // the same
    std::optional<ChunkBuffer> pieces_[2];  // only once the files are read rather than mapped
    size_t compareLength_ = 0;
    bool endedEarly_ = false;
    int endedFile_ = 0;
    // Reading through mapped windows until a window cannot be mapped, then reading on from
    // there.
    bool mapping_ = true;
    MappedWindow windows_[2];
    std::vector<Segment> segments_;  // room for one a piece
    size_t segmentCount_ = 0;
};

}  // namespace tandrel
