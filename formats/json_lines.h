// JSON Lines for scripts: one object a line, "\n" after each on every platform. A "files" line,
// one "run" line a record, and a "summary" line, each with its keys in a fixed order. Names are
// written as formats/json_text.h says.
#pragma once

#include <string_view>

#include "engine/record_sink.h"
#include "engine/tree_sink.h"
#include "formats/report_output.h"

namespace tandrel {

// The output is opened by whoever runs the comparisons, before the first Begin. A run of many
// pairs adds "only", "mismatch", "link" and "error" lines, and a "total" line last.
class JsonLinesSink : public RecordSink, public TreeSink {
  public:
    explicit JsonLinesSink(ReportOutput& output) : output_(output) {}

    bool Begin(const ComparisonFacts& facts, Trouble& trouble) override;
    bool Record(const DiffRecord& record) override;
    bool End(const ComparisonSummary& summary, Trouble& trouble) override;

    bool Only(int side, const char* folder, const char* name, EntryKind kind) override;
    bool Mismatch(const char* firstPath, const char* secondPath, EntryKind first,
                  EntryKind second) override;
    bool Link(const char* firstPath, const char* secondPath, const char* firstTarget,
              const char* secondTarget) override;
    bool Error(const char* path, const char* reason) override;
    bool Total(const TreeTotals& totals) override;
    bool Writable(Trouble& trouble) const override { return output_.Writable(trouble); }

  private:
    ReportOutput& output_;
    bool secondOffsets_ = false;  // the skips differ, so the second file's offsets do too
    bool aligned_ = false;        // records have a kind
};

}  // namespace tandrel
