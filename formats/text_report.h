// The report as a person reads it: a header naming the files, a size line when the compared
// lengths differ, and each run as a record of offset, RVA and VA, length and both files' bytes.
#pragma once

#include "engine/record_sink.h"
#include "formats/report_output.h"

namespace tandrel {

// How the report is written. The defaults are the headless report's.
struct TextReportStyle {
    // "\n", or "\r\n" for a box that breaks lines so: at most two characters.
    const char* lineEnd = "\n";
    // A space after every hex pair.
    bool spaceSeparator = true;
    // The header names the files without their folders.
    bool shortNames = false;
};

class TextReportSink : public RecordSink {
  public:
    TextReportSink(ReportOutput& output, const TextReportStyle& style)
        : output_(output), style_(style) {}

    bool Begin(const ComparisonFacts& facts, Trouble& trouble) override;
    bool Record(const DiffRecord& record) override;
    bool End(const ComparisonSummary& summary, Trouble& trouble) override;

  private:
    template <typename Text>
    bool WriteRecord(Text& text, const DiffRecord& record);
    // An insertion or a deletion of an aligned comparison.
    bool WriteMovedRecord(ReportText& text, const DiffRecord& record);
    bool AppendLineEnd();

    ReportOutput& output_;
    TextReportStyle style_;
    size_t lineEndLength_ = 1;
    bool isPe_ = false;
};

}  // namespace tandrel
