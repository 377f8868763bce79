// The report as a person reads it: a header naming the files, a size line when the compared
// lengths differ, and each run as a record of offset, RVA and VA, length and both files' bytes.
#pragma once

#include "engine/record_sink.h"
#include "engine/tree_sink.h"
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
    // One report among many (folders, a list of pairs): a pair found identical writes nothing,
    // and a blank line parts each report from what came before.
    bool manyPairs = false;
};

// The output is opened by whoever runs the comparisons, before the first Begin.
class TextReportSink : public RecordSink, public TreeSink {
  public:
    TextReportSink(ReportOutput& output, const TextReportStyle& style)
        : output_(output), style_(style) {}

    bool Begin(const ComparisonFacts& facts, Trouble& trouble) override;
    bool Record(const DiffRecord& record) override;
    bool End(const ComparisonSummary& summary, Trouble& trouble) override;

    // Lines as "diff -r" has them where it has them ("Only in FOLDER: NAME"), and a total.
    bool Only(int side, const char* folder, const char* name, EntryKind kind) override;
    bool Mismatch(const char* firstPath, const char* secondPath, EntryKind first,
                  EntryKind second) override;
    bool Link(const char* firstPath, const char* secondPath, const char* firstTarget,
              const char* secondTarget) override;
    bool Error(const char* path, const char* reason) override;
    bool Total(const TreeTotals& totals) override;
    bool Writable(Trouble& trouble) const override { return output_.Writable(trouble); }

  private:
    template <typename Text>
    bool WriteRecord(Text& text, const DiffRecord& record);
    // An insertion or a deletion of an aligned comparison.
    bool WriteMovedRecord(TextBuffer& text, const DiffRecord& record);
    bool AppendLineEnd();
    // The header of the pair begun last, written once it is known to be needed.
    void WriteHeader();
    // Starts a line of a run of many pairs: a blank line first after a report.
    void StartEntryLine();

    ReportOutput& output_;
    TextReportStyle style_;
    size_t lineEndLength_ = 1;
    bool isPe_ = false;
    const ComparisonFacts* facts_ = nullptr;  // the pair begun last, until its End
    bool headerPending_ = false;
    bool wroteAny_ = false;       // anything written by this sink so far
    bool lastWasReport_ = false;  // what was written last is a pair's report
};

}  // namespace tandrel
