#include "engine/record_maker.h"

#include <algorithm>

namespace tandrel {
namespace {

// An image is below 2 GiB, so its offsets fit the 32-bit section arithmetic.
void PlaceInImage(const PeImageInfo& image, uint64_t offset, uint32_t& rva, uint64_t& va) {
    rva = FileOffsetToRva(image, static_cast<uint32_t>(offset));
    va = image.is64 ? image.imageBase64 + rva : static_cast<uint32_t>(image.imageBase32 + rva);
}

}  // namespace

RecordMaker::RecordMaker(RecordSink& sink, const ComparisonFacts& facts,
                         const ComparisonOptions& options, const PeLayout* layout,
                         const PeImageInfo* secondImage)
    : sink_(sink),
      facts_(facts),
      image_(facts.peImage),
      secondImage_(secondImage),
      places_(options.imagePlaces ? layout : nullptr),
      maxRuns_(options.maxRuns) {
    if (options.ignorePeNoise && layout != nullptr) {
        noise_ = layout->NoiseRanges();
    }
    summary_.noiseSetAside = options.ignorePeNoise;
}

const PeRange* RecordMaker::NoiseFrom(uint64_t at) {
    // Runs come in offset order, so the noise ranges are walked once.
    while (nextNoise_ < noise_.size() && noise_[nextNoise_].end <= at) {
        ++nextNoise_;
    }
    return nextNoise_ < noise_.size() ? &noise_[nextNoise_] : nullptr;
}

bool RecordMaker::Edit(RunKind kind, uint64_t position, uint64_t secondPosition,
                       const uint8_t* first, const uint8_t* second, size_t length) {
    if (noise_.empty()) {
        return Hand(kind, position, secondPosition, first, second, length);
    }
    const uint64_t start = facts_.skips[0] + position;
    if (kind == RunKind::kInsert) {
        const PeRange* noise = NoiseFrom(start);
        if (noise != nullptr && noise->begin < start) {
            summary_.ignoredBytes += length;
            summary_.ignoredFields += lastNoise_ != nextNoise_;
            lastNoise_ = nextNoise_;
            return true;
        }
        return Hand(kind, position, secondPosition, first, second, length);
    }
    // A change moves on in both files, a deletion in the first only.
    const uint64_t secondStep = kind == RunKind::kChange ? 1 : 0;
    for (uint64_t at = start, end = start + length; at < end;) {
        const PeRange* noise = NoiseFrom(at);
        if (noise != nullptr && noise->begin <= at) {
            const uint64_t stop = std::min(noise->end, end);
            summary_.ignoredBytes += stop - at;
            summary_.ignoredFields += lastNoise_ != nextNoise_;
            lastNoise_ = nextNoise_;
            at = stop;
            continue;
        }
        const uint64_t stop = noise != nullptr ? std::min(noise->begin, end) : end;
        const auto skipped = static_cast<size_t>(at - start);
        if (!Hand(kind, position + skipped, secondPosition + skipped * secondStep, first + skipped,
                  second != nullptr ? second + skipped * secondStep : nullptr,
                  static_cast<size_t>(stop - at))) {
            return false;
        }
        at = stop;
    }
    return true;
}

bool RecordMaker::Hand(RunKind kind, uint64_t position, uint64_t secondPosition,
                       const uint8_t* first, const uint8_t* second, size_t length) {
    if (summary_.runs == maxRuns_) {
        summary_.stoppedAtLimit = true;
        return false;
    }
    DiffRecord record = {facts_.skips[0] + position,
                         facts_.skips[1] + secondPosition,
                         length,
                         first,
                         second,
                         0,
                         0,
                         {},
                         {}};
    record.kind = kind;
    if (image_ != nullptr) {
        PlaceInImage(*image_, record.offset, record.rva, record.va);
    }
    if (kind == RunKind::kInsert && secondImage_ != nullptr) {
        PlaceInImage(*secondImage_, record.secondOffset, record.secondRva, record.secondVa);
    }
    // The names live in these until the sink has the record.
    PeName section;
    PeName field;
    if (places_ != nullptr) {
        section = places_->SectionAt(record.offset);
        field = places_->FieldAt(record.offset);
        record.section = section ? section.View() : std::string_view();
        record.field = field ? field.View() : std::string_view();
    }
    if (code_ != nullptr) {
        ListCode(record);
    }
    ++summary_.runs;
    summary_.bytes += length;
    return sink_.Record(record);
}

void RecordMaker::ListCode(DiffRecord& record) {
    record.codeAsked = true;
    const uint64_t offsets[2] = {record.offset, record.secondOffset};
    // An insertion has no bytes in the first file, a deletion none in the second.
    const bool holds[2] = {record.kind != RunKind::kInsert, record.kind != RunKind::kDelete};
    for (int side = 0; side < 2; ++side) {
        if (holds[side] && code_->Find(side, offsets[side], record.length, listings_[side])) {
            record.code[side] = &listings_[side];
        }
    }
}

}  // namespace tandrel
