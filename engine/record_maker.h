// Turns the runs a comparison finds into records for a sink: file offsets, the build noise left
// out, where they land in the image, and the record limit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "engine/code_decoder.h"
#include "engine/comparison.h"
#include "engine/pe_layout.h"
#include "engine/record_sink.h"

namespace tandrel {

class RecordMaker {
  public:
    // secondImage: the second file's PE facts, for an insertion's place in it (aligned runs
    // only); null when it is no image.
    RecordMaker(RecordSink& sink, const ComparisonFacts& facts, const ComparisonOptions& options,
                const PeLayout* layout, const PeImageInfo* secondImage = nullptr);

    // Hands on the run of length bytes at position of the range, less its noise bytes; false
    // when the comparison has to stop.
    bool Run(uint64_t position, const uint8_t* first, const uint8_t* second, size_t length) {
        return Edit(RunKind::kChange, position, position, first, second, length);
    }
    // The same for a run of an aligned comparison, at position of the first range and
    // secondPosition of the second: a change, an insertion (first unused) or a deletion (second
    // unused). Noise is set aside by the first file's offsets; an insertion strictly inside a
    // noise field is set aside whole. Runs come in the first file's offset order.
    bool Edit(RunKind kind, uint64_t position, uint64_t secondPosition, const uint8_t* first,
              const uint8_t* second, size_t length);

    ComparisonSummary& Summary() { return summary_; }
    // Decode the instructions under each run with code.
    void ListCodeWith(CodeDecoder* code) { code_ = code; }

  private:
    bool Hand(RunKind kind, uint64_t position, uint64_t secondPosition, const uint8_t* first,
              const uint8_t* second, size_t length);
    // The noise range at or after the first file's offset at, or null.
    const PeRange* NoiseFrom(uint64_t at);
    // The instructions under the record in each file that holds bytes of it.
    void ListCode(DiffRecord& record);

    RecordSink& sink_;
    const ComparisonFacts& facts_;
    const PeImageInfo* image_;
    const PeImageInfo* secondImage_;
    const PeLayout* places_;
    uint64_t maxRuns_;
    std::span<const PeRange> noise_;
    size_t nextNoise_ = 0;
    size_t lastNoise_ = SIZE_MAX;
    ComparisonSummary summary_;
    CodeDecoder* code_ = nullptr;
    CodeListing listings_[2];
};

}  // namespace tandrel
