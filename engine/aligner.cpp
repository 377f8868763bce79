#include "engine/aligner.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "engine/aligned_input.h"
#include "engine/anchor_search.h"
#include "engine/byte_scan.h"
#include "engine/code_decoder.h"
#include "engine/image_header.h"
#include "engine/mapped_lockstep.h"
#include "engine/pe_layout.h"
#include "engine/record_maker.h"
#include "platform/chunk_buffer.h"

namespace tandrel {
namespace {

// Each input holds a chunk, as the fixed-offset comparison does, and a search window ahead of
// it twice over, so that the search rarely has to move bytes to the front.
constexpr size_t kInputCapacity = kChunkSize + 2 * kAlignWindow;
// The lockstep compares this much of each file at a time.
constexpr size_t kLockstepStep = 262144;

class Aligner {
  public:
    Aligner(AlignedInput& first, AlignedInput& second, RecordMaker& records, bool firstLimited)
        : in_{&first, &second},
          records_(records),
          search_(first.Length()),
          firstLimited_(firstLimited) {}

    // False when a read failed or an input changed (trouble says why).
    bool Run(Trouble& trouble);
    // Every position of the first range was compared and handed on.
    bool Complete() const { return going_; }
    // The two files moved on by as many bytes: nothing was inserted or deleted in all.
    bool Balanced() const { return at_[0] == at_[1]; }

  private:
    // Hands on the differing runs of n bytes at a and b, as the fixed-offset comparison would.
    bool Changes(const uint8_t* a, const uint8_t* b, size_t n);
    enum class Lockstep {
        kMoved,   // both files moved on over a whole stretch of equal bytes
        kDiffer,  // both moved on to a byte that differs (or were there already)
        kRead,    // they cannot be mapped: read them
        kFailed,  // a file was cut short or changed
    };
    // Compares both files in place from where they are, up to a chunk.
    Lockstep MappedLockstep(const uint64_t lengths[2], Trouble& trouble);
    // The rest of file k's range (for the first, its bytes as deleted; for the second, as
    // inserted at the first's end).
    bool Rest(int k, Trouble& trouble);

    AlignedInput* in_[2];
    RecordMaker& records_;
    AnchorSearch search_;
    bool firstLimited_;
    uint64_t at_[2] = {0, 0};  // the next range position of each file
    bool going_ = true;
    bool mapping_ = true;  // until a window cannot be mapped
    // The files lined up at the last search: worth mapping a stretch to compare in place.
    bool lined_ = true;
};

Aligner::Lockstep Aligner::MappedLockstep(const uint64_t lengths[2], Trouble& trouble) {
    if (!mapping_) {
        return Lockstep::kRead;
    }
    const auto count = static_cast<size_t>(
        std::min({lengths[0] - at_[0], lengths[1] - at_[1], uint64_t{kChunkSize}}));
    size_t equal = 0;
    switch (CompareMapped({&in_[0]->File(), in_[0]->Path(), in_[0]->Skip() + at_[0]},
                          {&in_[1]->File(), in_[1]->Path(), in_[1]->Skip() + at_[1]}, count, equal,
                          trouble)) {
        case LockstepResult::kFailed:
            return Lockstep::kFailed;
        case LockstepResult::kCannotMap:
            mapping_ = false;
            return Lockstep::kRead;
        case LockstepResult::kCompared:
            break;
    }
    at_[0] += equal;
    at_[1] += equal;
    return equal == count ? Lockstep::kMoved : Lockstep::kDiffer;
}

bool Aligner::Changes(const uint8_t* a, const uint8_t* b, size_t n) {
    size_t i = FindMismatch(a, b, 0, n);
    while (i < n) {
        const size_t end = FindMatch(a, b, i + 1, n);
        if (!records_.Edit(RunKind::kChange, at_[0] + i, at_[1] + i, a + i, b + i, end - i)) {
            return false;
        }
        i = end < n ? FindMismatch(a, b, end + 1, n) : end;
    }
    return true;
}

bool Aligner::Rest(int k, Trouble& trouble) {
    const RunKind kind = k == 0 ? RunKind::kDelete : RunKind::kInsert;
    while (going_ && at_[k] < in_[k]->Length()) {
        size_t held = 0;
        if (!in_[k]->Have(at_[k], kChunkSize, held, trouble)) {
            return false;
        }
        const size_t n = std::min(held, kChunkSize);
        const uint8_t* bytes = in_[k]->At(at_[k]);
        going_ = records_.Edit(kind, at_[0], at_[1], k == 0 ? bytes : nullptr,
                               k == 1 ? bytes : nullptr, n);
        at_[k] += n;
    }
    return true;
}

bool Aligner::Run(Trouble& trouble) {
    if (!search_.Ready()) {
        trouble.Set("", "not enough memory");
        return false;
    }
    const uint64_t lengths[2] = {in_[0]->Length(), in_[1]->Length()};
    while (going_) {
        if (at_[0] == lengths[0]) {
            // A limit cuts the first file's range: the second file's bytes past it are not
            // compared.
            return firstLimited_ || Rest(1, trouble);
        }
        if (at_[1] == lengths[1]) {
            return Rest(0, trouble);
        }
        size_t held[2] = {in_[0]->Held(at_[0]), in_[1]->Held(at_[1])};
        if ((held[0] == 0 || held[1] == 0) && lined_) {
            // Nothing ahead in a buffer: compared in place where the files map.
            const Lockstep lockstep = MappedLockstep(lengths, trouble);
            if (lockstep == Lockstep::kFailed) {
                return false;
            }
            if (lockstep == Lockstep::kMoved) {
                continue;
            }
        }
        if (held[0] == 0 || held[1] == 0) {
            if (!in_[0]->Have(at_[0], kLockstepStep, held[0], trouble) ||
                !in_[1]->Have(at_[1], kLockstepStep, held[1], trouble)) {
                return false;
            }
        }
        if (held[0] > 0 && held[1] > 0) {
            const size_t n = std::min(held[0], held[1]);
            const size_t equal = FindMismatch(in_[0]->At(at_[0]), in_[1]->At(at_[1]), 0, n);
            at_[0] += equal;
            at_[1] += equal;
            if (equal == n) {
                continue;
            }
        }
        if (!in_[0]->Have(at_[0], kAlignWindow, held[0], trouble) ||
            !in_[1]->Have(at_[1], kAlignWindow, held[1], trouble)) {
            return false;
        }
        const uint8_t* const a = in_[0]->At(at_[0]);
        const uint8_t* const b = in_[1]->At(at_[1]);
        const bool ends =
            !firstLimited_ && at_[0] + held[0] == lengths[0] && at_[1] + held[1] == lengths[1];
        Anchor anchor = search_.Find(a, held[0], b, held[1], ends, !lined_);
        lined_ = anchor.found;
        if (!anchor.found) {
            // Nothing lines up within reach: the window is a change, and the search starts
            // again after it.
            anchor.first = anchor.second = std::min({held[0], held[1], kAlignWindow});
        }
        const size_t changed = std::min(anchor.first, anchor.second);
        going_ = Changes(a, b, changed);
        if (going_ && anchor.first != anchor.second) {
            const bool inserted = anchor.second > anchor.first;
            going_ = records_.Edit(inserted ? RunKind::kInsert : RunKind::kDelete, at_[0] + changed,
                                   at_[1] + changed, inserted ? nullptr : a + changed,
                                   inserted ? b + changed : nullptr,
                                   inserted ? anchor.second - changed : anchor.first - changed);
        }
        at_[0] += anchor.first;
        at_[1] += anchor.second;
    }
    return true;
}

}  // namespace

ComparisonOutcome CompareAligned(const char* firstPath, const char* secondPath,
                                 const ComparisonOptions& options, RecordSink& sink) {
    ComparisonOutcome outcome;
    PeImageInfo& peImage = outcome.peImage;
    AlignedInput first;
    AlignedInput second;
    const CompareRange& range = options.range;
    if (!first.Open(firstPath, range.skips[0], range.limit, kInputCapacity, outcome.trouble) ||
        !second.Open(secondPath, range.skips[1], UINT64_MAX, kInputCapacity, outcome.trouble)) {
        return outcome;
    }
    // The header reader sees a zero-filled 16 MiB chunk; one serves both files in turn, and is
    // given back before the comparison.
    std::optional<ChunkBuffer> headerChunk(std::in_place, kChunkSize);
    if (headerChunk->Data() == nullptr) {
        outcome.trouble.Set("", "not enough memory");
        return outcome;
    }
    size_t headerBytes = 0;
    bool headerFailed = false;
    const bool isPe =
        ReadImageHeader(first.File(), headerChunk->Data(), peImage, headerBytes, headerFailed);
    if (headerFailed) {
        outcome.trouble.Set(firstPath, "cannot be read");
        return outcome;
    }
    std::memset(headerChunk->Data(), 0, headerBytes);
    // An insertion's place in the second file's image, when it is one.
    PeImageInfo secondImage;
    size_t secondHeaderBytes = 0;
    const bool secondIsPe = ReadImageHeader(second.File(), headerChunk->Data(), secondImage,
                                            secondHeaderBytes, headerFailed);
    if (headerFailed) {
        outcome.trouble.Set(secondPath, "cannot be read");
        return outcome;
    }
    headerChunk.reset();
    outcome.isPe = isPe;
    PeLayout layout;
    if (isPe && (options.imagePlaces || options.ignorePeNoise)) {
        const InputFile& file = first.File();
        layout.Read(
            peImage, first.Size(),
            [&file](uint64_t offset, void* out, size_t count) {
                size_t got = 0;
                return file.ReadAt(offset, out, count, got) && got == count;
            },
            kChunkSize - headerBytes);
    }
    // The first bytes are read before anything is written: a file that cannot be read leaves
    // the output as it was.
    size_t held = 0;
    if (!first.Have(0, 1, held, outcome.trouble) || !second.Have(0, 1, held, outcome.trouble)) {
        return outcome;
    }

    const uint64_t secondLength = std::min(second.Length(), range.limit);
    const ComparisonFacts facts = {
        {firstPath, secondPath},
        {first.Size(), second.Size()},
        {std::min(range.skips[0], first.Size()), std::min(range.skips[1], second.Size())},
        {first.Length(), secondLength},
        first.Length(),
        isPe ? &peImage : nullptr,
        {&first.File(), &second.File()},
        true};
    if (!sink.Begin(facts, outcome.trouble)) {
        return outcome;
    }
    outcome.began = true;
    outcome.compared = facts.compared;
    outcome.lengthsDiffer = facts.lengths[0] != facts.lengths[1];

    RecordMaker records(sink, facts, options, isPe ? &layout : nullptr,
                        secondIsPe ? &secondImage : nullptr);
    CodeDecoder code;
    if (options.instructions) {
        code.Open(first.File(), second.File());
        records.ListCodeWith(&code);
    }
    const bool firstLimited = range.limit < first.Size() - facts.skips[0];
    Aligner aligner(first, second, records, firstLimited);
    const bool readOk = aligner.Run(outcome.trouble);

    ComparisonSummary& summary = records.Summary();
    summary.maxRuns = options.maxRuns;
    summary.complete = readOk && aligner.Complete();
    summary.identical = summary.complete && summary.bytes == 0 && aligner.Balanced();
    const bool written = sink.End(summary, outcome.trouble);
    outcome.done = readOk && written;
    outcome.complete = summary.complete;
    outcome.identical = outcome.done && summary.identical;
    outcome.runs = summary.runs;
    outcome.bytes = summary.bytes;
    if (options.progress) {
        options.progress(facts.compared);
    }
    if (!isPe) {
        outcome.peImage = {};
    }
    return outcome;
}

}  // namespace tandrel
