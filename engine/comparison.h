// The byte-by-byte comparison of two files, handing each run of differing bytes to a sink.
#pragma once

#include <cstdint>
#include <functional>

#include "engine/chunk_pair.h"
#include "engine/pe_image.h"
#include "engine/record_sink.h"
#include "platform/trouble.h"

namespace tandrel {

struct ComparisonOptions {
    CompareRange range;
    // After this many records the comparison stops (the summary says so).
    uint64_t maxRuns = UINT64_MAX;
    // Name the section and the structure field each run starts in (reads the image's
    // directories before comparing).
    bool imagePlaces = false;
    // Leave the image's build noise (time stamps, checksum, debug identity, signature) out of the
    // comparison.
    bool ignorePeNoise = false;
    // Told the positions compared so far, at most once a chunk; returning false ends the
    // comparison there (the run was asked to stop), as an incomplete one.
    std::function<bool(uint64_t compared)> progress;
    // Decode the instructions under each run in a PE image's x86 code, in each file.
    bool instructions = false;
    // Line up bytes inserted into or deleted from the second file (engine/aligner.h): records
    // are then changes, insertions and deletions.
    bool align = false;
};

struct ComparisonOutcome {
    // Every position the range promises was compared and the sink wrote all it was handed: the
    // run did its job (status 0). A sink that stops taking records without a fault (a box that
    // is full, the record limit) does not make it false.
    bool done = false;
    // The sink was begun: something was written (a header at least).
    bool began = false;
    // Done, complete, with no differing byte, both files ending at the same place in the range.
    bool identical = false;
    uint64_t compared = 0;       // positions in both ranges
    bool lengthsDiffer = false;  // the ranges end at different places
    // Every position of the range was compared and handed on (no record limit, no stop).
    bool complete = false;
    bool stopped = false;  // ended because progress asked to stop
    uint64_t runs = 0;     // records handed on
    uint64_t bytes = 0;    // differing bytes in them
    // The first file's PE facts, when it is an image.
    bool isPe = false;
    PeImageInfo peImage;
    Trouble trouble;  // why the run could not do its job
};

// Compares the two files and hands the facts, the records and the summary to sink. Both inputs
// are opened and their first chunk read before the sink is begun, so a run that fails there
// writes nothing. scratch, when given, is what a run over many pairs keeps from pair to pair.
ComparisonOutcome CompareFiles(const char* firstPath, const char* secondPath,
                               const ComparisonOptions& options, RecordSink& sink,
                               ComparisonScratch* scratch = nullptr);

}  // namespace tandrel
