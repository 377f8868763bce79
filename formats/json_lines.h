// JSON Lines for scripts: one object a line, "\n" after each on every platform. A "files" line,
// one "run" line a record, and a "summary" line, each with its keys in a fixed order. Names are
// written as formats/json_text.h says.
#pragma once

#include <string_view>

#include "engine/record_sink.h"
#include "formats/report_output.h"

namespace tandrel {

class JsonLinesSink : public RecordSink {
  public:
    explicit JsonLinesSink(ReportOutput& output) : output_(output) {}

    bool Begin(const ComparisonFacts& facts, Trouble& trouble) override;
    bool Record(const DiffRecord& record) override;
    bool End(const ComparisonSummary& summary, Trouble& trouble) override;

  private:
    ReportOutput& output_;
    bool secondOffsets_ = false;  // the skips differ, so the second file's offsets do too
};

}  // namespace tandrel
