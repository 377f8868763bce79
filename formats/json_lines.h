// JSON Lines for scripts: one object a line, "\n" after each on every platform. A "files" line,
// one "run" line a record, and a "summary" line, each with its keys in a fixed order.
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
    bool aligned_ = false;        // records have a kind
};

// Appends text as a JSON string, quotes included: valid UTF-8 as it is, every byte that is not
// part of a valid UTF-8 sequence as \u00XX of its value, control characters escaped.
void AppendJsonString(ReportText& text, std::string_view value);

}  // namespace tandrel
