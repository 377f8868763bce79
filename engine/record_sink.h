// What a comparison hands on: the facts known once both inputs are open, each run of differing
// bytes as it is found, and how the run ended. Each output format is a sink.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/code_listing.h"
#include "engine/pe_image.h"
#include "platform/input_file.h"
#include "platform/trouble.h"

namespace tandrel {

struct ComparisonFacts {
    const char* paths[2];
    uint64_t sizes[2];    // whole sizes when opened
    uint64_t skips[2];    // bytes of each file not compared at its start
    uint64_t lengths[2];  // positions of each file in the compared range
    uint64_t compared;    // the smaller of the two lengths: positions compared
    // The first file's PE facts, or null when it is no PE image.
    const PeImageInfo* peImage;
    // The open inputs: an output opened for the run refuses one that is an input.
    const InputFile* inputs[2];
    // The facts live until the sink's End returns.
    // The comparison lines moved bytes up again (--align): records are of three kinds, and the
    // second file's offsets differ from the first's.
    bool aligned = false;
};

// What a record of an aligned comparison stands for. Without alignment every record is a change.
enum class RunKind : uint8_t {
    kChange,  // as many bytes on both sides
    kInsert,  // bytes only in the second file, before the first file's byte at offset
    kDelete,  // bytes only in the first file
};

struct DiffRecord {
    uint64_t offset;        // of the run's first byte in the first file
    uint64_t secondOffset;  // the same byte's offset in the second file
    size_t length;
    const uint8_t* first;  // the run's bytes in each file
    const uint8_t* second;
    uint32_t rva;  // 0 when the offset lies in no section's raw data (or the file is no image)
    uint64_t va;   // the image base plus rva, 32-bit wrapping for PE32
    // Where the run starts in the image, when asked for: no data() outside every section or
    // field. A section's name is spelt as its table entry has it, whatever bytes those are.
    std::string_view section;
    std::string_view field;
    // With instructions asked for, codeAsked is set and code[k] walks the instructions of file k
    // that overlap the run's bytes there (good while the sink has the record), or is null where
    // they lie outside x86 code.
    bool codeAsked = false;
    const CodeListing* code[2] = {nullptr, nullptr};
    // An insertion holds no first bytes (first is then unused) and a deletion no second bytes;
    // length counts the bytes of the side that has them.
    RunKind kind = RunKind::kChange;
    // An insertion's place in the second file's image, through its own section table: 0 when
    // the second file is no image or no section holds secondOffset.
    uint32_t secondRva = 0;
    uint64_t secondVa = 0;
};

struct ComparisonSummary {
    uint64_t runs = 0;
    uint64_t bytes = 0;  // differing bytes in the runs handed on
    // Every position of the range compared and handed on: false after a failed read, a changed
    // input, a sink that stopped taking records, or the record limit.
    bool complete = false;
    // Complete, no differing byte handed on, and both files end at the same place in the range.
    bool identical = false;
    bool stoppedAtLimit = false;  // ended by the record limit, which was maxRuns
    uint64_t maxRuns = 0;
    // With the image's build noise set aside: the differing bytes not compared, and how many
    // noise fields held them.
    bool noiseSetAside = false;
    uint64_t ignoredBytes = 0;
    uint64_t ignoredFields = 0;
};

class RecordSink {
  public:
    virtual ~RecordSink() = default;
    // Before the first record; false, with trouble, when the output cannot be had (nothing else
    // is then called).
    virtual bool Begin(const ComparisonFacts& facts, Trouble& trouble) = 0;
    // False when the sink takes no more records: the comparison then ends.
    virtual bool Record(const DiffRecord& record) = 0;
    // A sink that asks for it is handed, after the last record, the second file's bytes past
    // the end of the first file's range, in pieces at the offsets the first file would hold
    // them: only when both ranges reach their files' ends and the run is complete.
    virtual bool WantsTail() const { return false; }
    virtual bool Tail(uint64_t offset, const uint8_t* bytes, size_t count) {
        (void)offset;
        (void)bytes;
        (void)count;
        return true;
    }
    // After the last record, whatever ended the run; false, with trouble, when what the sink
    // wrote is not whole (a failed write, a record the format cannot hold).
    virtual bool End(const ComparisonSummary& summary, Trouble& trouble) = 0;
};

}  // namespace tandrel
