#include "engine/comparison.h"

#include <algorithm>

#include "engine/aligner.h"
#include "engine/byte_scan.h"
#include "engine/code_decoder.h"
#include "engine/image_header.h"
#include "engine/pe_layout.h"
#include "engine/record_maker.h"

namespace tandrel {
namespace {

// Scans the current chunk's segments for runs. Runs end at the chunk's end: differing bytes at
// the start of the next chunk begin a new record. Outside the segments both files are equal, so
// a run never leaves one. Returns false when the comparison has to stop.
bool ScanChunk(const ChunkPair& files, uint64_t base, RecordMaker& records) {
    const uint8_t* const a = files.FirstChunkBytes();
    const uint8_t* const b = files.SecondChunkBytes();
    for (const ChunkPair::Segment& segment : files.Segments()) {
        size_t i = FindMismatch(a, b, segment.begin, segment.end);
        while (i < segment.end) {
            // Most runs in a dense pair are one byte long: no call for those.
            const size_t next = i + 1;
            const size_t end = next < segment.end && a[next] == b[next]
                                   ? next
                                   : FindMatch(a, b, next, segment.end);
            if (!records.Run(base + i, a + i, b + i, end - i)) {
                return false;
            }
            // Dense runs are memory-bound: ask for the bytes a few records ahead now.
            __builtin_prefetch(a + end + 1024);
            __builtin_prefetch(b + end + 1024);
            // The equal byte that ended the run needs no second look.
            i = end < segment.end ? FindMismatch(a, b, end + 1, segment.end) : end;
        }
    }
    return true;
}

// Hands the second file's bytes past the first range's end to a sink that asks for them.
bool HandTail(ChunkPair& files, const ComparisonFacts& facts, RecordSink& sink, Trouble& trouble) {
    const uint64_t firstEnd = facts.skips[0] + facts.lengths[0];
    const uint64_t secondEnd = facts.skips[1] + facts.lengths[1];
    if (!sink.WantsTail() || firstEnd != facts.sizes[0] || secondEnd != facts.sizes[1] ||
        facts.lengths[1] <= facts.lengths[0]) {
        return true;
    }
    InputFile& second = files.File(1);
    uint8_t piece[65536];
    for (uint64_t at = facts.skips[1] + facts.lengths[0]; at < secondEnd;) {
        size_t got = 0;
        const auto ask = static_cast<size_t>(std::min<uint64_t>(sizeof piece, secondEnd - at));
        if (!second.ReadAt(at, piece, ask, got) || got != ask) {
            trouble.Set(facts.paths[1], "cannot be read");
            return false;
        }
        if (!sink.Tail(firstEnd + (at - facts.skips[1] - facts.lengths[0]), piece, got)) {
            return true;  // the sink says why at its End
        }
        at += got;
    }
    if (!second.UnchangedSinceOpen()) {
        trouble.Set(facts.paths[1], "changed while it was compared");
        return false;
    }
    return true;
}

}  // namespace

ComparisonOutcome CompareFiles(const char* firstPath, const char* secondPath,
                               const ComparisonOptions& options, RecordSink& sink,
                               ComparisonScratch* scratch) {
    ComparisonOutcome outcome;
    if (firstPath == nullptr || *firstPath == '\0' || secondPath == nullptr ||
        *secondPath == '\0') {
        outcome.trouble.Set("", "a file name is empty");
        return outcome;
    }
    if (options.align) {
        return CompareAligned(firstPath, secondPath, options, sink);
    }
    ChunkPair files(scratch);
    if (!files.Open(firstPath, secondPath, options.range, outcome.trouble)) {
        return outcome;
    }
    PeImageInfo& peImage = outcome.peImage;
    size_t headerBytes = 0;
    bool headerFailed = false;
    const bool isPe = ReadImageHeader(files.File(0), files.FirstChunkBuffer(), peImage, headerBytes,
                                      headerFailed);
    if (headerFailed) {
        outcome.trouble.Set(firstPath, "cannot be read");
        return outcome;
    }
    outcome.isPe = isPe;
    // The image's structures, from the rest of the 16 MiB the header reading may use.
    PeLayout layout;
    if (isPe && (options.imagePlaces || options.ignorePeNoise)) {
        const InputFile& first = files.File(0);
        layout.Read(
            peImage, files.FileSize(0),
            [&first](uint64_t offset, void* out, size_t count) {
                size_t got = 0;
                return first.ReadAt(offset, out, count, got) && got == count;
            },
            kChunkSize - headerBytes);
    }
    // The first chunk is read before anything is written: a file that cannot be read leaves the
    // output as it was.
    bool readOk = files.ReadChunk(outcome.trouble);
    if (!readOk) {
        return outcome;
    }

    const ComparisonFacts facts = {{firstPath, secondPath},
                                   {files.FileSize(0), files.FileSize(1)},
                                   {options.range.skips[0], options.range.skips[1]},
                                   {files.RangeLength(0), files.RangeLength(1)},
                                   std::min(files.RangeLength(0), files.RangeLength(1)),
                                   isPe ? &peImage : nullptr,
                                   {&files.File(0), &files.File(1)}};
    if (!sink.Begin(facts, outcome.trouble)) {
        return outcome;
    }
    outcome.began = true;
    outcome.compared = facts.compared;
    outcome.lengthsDiffer = facts.lengths[0] != facts.lengths[1];

    RecordMaker records(sink, facts, options, isPe ? &layout : nullptr);
    CodeDecoder code;
    if (options.instructions) {
        code.Open(files.File(0), files.File(1));
        records.ListCodeWith(&code);
    }
    uint64_t base = 0;
    bool going = true;
    // Once either file is exhausted nothing more can be compared, so reading stops there.
    while (files.CompareLength() > 0) {
        going = ScanChunk(files, base, records);
        base += files.CompareLength();
        if (going && options.progress && !options.progress(base)) {
            going = false;
            outcome.stopped = true;
        }
        if (!going || files.EndedEarly()) {
            break;
        }
        if (!files.ReadChunk(outcome.trouble)) {
            readOk = false;
            break;
        }
    }
    if (going && readOk && !files.CheckLongerEnd(outcome.trouble)) {
        readOk = false;
    }
    if (files.EndedEarly()) {
        outcome.trouble.Set(files.Path(files.EndedFile()),
                            "ended before its size (it changed while it was compared, or its size "
                            "is not its length)");
    }

    ComparisonSummary& summary = records.Summary();
    summary.maxRuns = options.maxRuns;
    summary.complete = going && readOk && !files.EndedEarly();
    summary.identical =
        summary.complete && summary.bytes == 0 && facts.lengths[0] == facts.lengths[1];
    if (summary.complete && !HandTail(files, facts, sink, outcome.trouble)) {
        readOk = false;
        summary.complete = false;
        summary.identical = false;
    }
    const bool written = sink.End(summary, outcome.trouble);
    outcome.done = readOk && !files.EndedEarly() && written && !outcome.stopped;
    outcome.complete = summary.complete;
    outcome.identical = outcome.done && summary.identical;
    outcome.runs = summary.runs;
    outcome.bytes = summary.bytes;
    if (!isPe) {
        outcome.peImage = {};
    }
    return outcome;
}

}  // namespace tandrel
