// Opens a run's output when the first pair's inputs are open, so a run whose first inputs cannot
// be opened creates and cuts nothing, then hands everything on to the format's sink.
#pragma once

#include "engine/comparison.h"
#include "engine/record_sink.h"
#include "formats/report_output.h"

namespace tandrel {

class OpeningSink : public RecordSink {
  public:
    // stopRequested, when given, is asked before each record: a run asked to stop ends at the
    // last whole record.
    OpeningSink(ReportOutput& output, RecordSink& format, bool (*stopRequested)() = nullptr)
        : output_(output), format_(format), stopRequested_(stopRequested) {}

    bool Begin(const ComparisonFacts& facts, Trouble& trouble) override {
        if (!output_.IsOpen() && !output_.Open(facts, trouble)) {
            return false;
        }
        return format_.Begin(facts, trouble);
    }
    bool Record(const DiffRecord& record) override {
        return (stopRequested_ == nullptr || !stopRequested_()) && format_.Record(record);
    }
    bool WantsTail() const override { return format_.WantsTail(); }
    bool Tail(uint64_t offset, const uint8_t* bytes, size_t count) override {
        return format_.Tail(offset, bytes, count);
    }
    bool End(const ComparisonSummary& summary, Trouble& trouble) override {
        return format_.End(summary, trouble);
    }

  private:
    ReportOutput& output_;
    RecordSink& format_;
    bool (*stopRequested_)();
};

// One pair compared into output through format, the output opened once both inputs are and
// closed at the end; a new file (a patch) is kept only when the comparison is done and complete.
inline ComparisonOutcome CompareInto(const char* firstPath, const char* secondPath,
                                     const ComparisonOptions& options, RecordSink& format,
                                     ReportOutput& output, bool (*stopRequested)() = nullptr) {
    OpeningSink sink(output, format, stopRequested);
    ComparisonOutcome outcome = CompareFiles(firstPath, secondPath, options, sink);
    if (output.IsOpen() && !output.Close(outcome.trouble, outcome.done && outcome.complete) &&
        outcome.done) {
        outcome.done = false;
        outcome.identical = false;
    }
    return outcome;
}

}  // namespace tandrel
