#include "formats/text_report.h"

#include <cstring>

#include "platform/file_system.h"

namespace tandrel {
namespace {

// Writes into room reserved for a whole record, with no checks: the usual case.
class DirectText {
  public:
    explicit DirectText(char* out) : out_(out) {}
    char* End() const { return out_; }

    bool Append(const char* text, size_t count) {
        if (count == 1) {
            *out_++ = *text;  // a line end, many times a record: no call for it
        } else {
            std::memcpy(out_, text, count);
            out_ += count;
        }
        return true;
    }
    template <size_t N>
    bool Append(const char (&literal)[N]) {
        return Append(literal, N - 1);
    }
    bool AppendHex(uint64_t value) { return Advance(FormatHex(out_, value)); }
    bool AppendDecimal(uint64_t value) { return Advance(FormatDecimal(out_, value)); }
    bool AppendHexBytes(const uint8_t* bytes, size_t count, bool separated) {
        return Advance(FormatHexBytes(out_, bytes, count, separated));
    }

  private:
    bool Advance(char* end) {
        out_ = end;
        return true;
    }

    char* out_;
};

constexpr char kOffsetLabel[] = "File offset = ";
constexpr char kRvaLabel[] = "RVA = ";
constexpr char kVaLabel[] = "VA = ";
constexpr char kLengthLabel[] = "Bytes Size (dec) = ";
constexpr char kFirstBytesLabel[] = "First file bytes: ";
constexpr char kSecondBytesLabel[] = "Second file bytes: ";
// The records of an aligned comparison that hold bytes of one file only.
constexpr char kInsertedLabel[] = "Inserted bytes (dec) = ";
constexpr char kDeletedLabel[] = "Deleted bytes (dec) = ";
constexpr char kSecondOffsetLabel[] = "Second file offset = ";
constexpr char kSecondRvaLabel[] = "Second file RVA = ";
constexpr char kSecondVaLabel[] = "Second file VA = ";

template <size_t N>
constexpr size_t Length(const char (&)[N]) {
    return N - 1;
}

// The most a record holds besides its two hex lines: the labels, nine line ends and four
// numbers (offset, RVA, VA and length: at most 16 + 8 + 16 + 20 digits).
constexpr size_t kLongestLineEnd = 2;
constexpr size_t kRecordFixedText = Length(kOffsetLabel) + Length(kRvaLabel) + Length(kVaLabel) +
                                    Length(kLengthLabel) + Length(kFirstBytesLabel) +
                                    Length(kSecondBytesLabel) + 9 * kLongestLineEnd + 60;

// The part of the path after its last separator found at index 1 or later; the whole path when
// there is none.
const char* FileNameFromPath(const char* path) {
    for (size_t i = std::strlen(path); i-- > 1;) {
        if (path[i] == kPathSeparator) {
            return path + i + 1;
        }
    }
    return path;
}

}  // namespace

bool TextReportSink::Begin(const ComparisonFacts& facts, Trouble& trouble) {
    if (!output_.Open(facts, trouble)) {
        return false;
    }
    lineEndLength_ = std::strlen(style_.lineEnd);
    isPe_ = facts.peImage != nullptr;
    ReportText& text = output_.Text();
    const char* const names[2] = {
        style_.shortNames ? FileNameFromPath(facts.paths[0]) : facts.paths[0],
        style_.shortNames ? FileNameFromPath(facts.paths[1]) : facts.paths[1]};
    text.Append("Comparing ");
    text.AppendText(names[0]);
    AppendLineEnd();
    text.Append(" and ");
    text.AppendText(names[1]);
    AppendLineEnd();
    if (!isPe_) {
        text.Append("Warning: not a PE file!");
        AppendLineEnd();
    }
    // Aligned, every byte of both is accounted for: no minimum to speak of.
    if (facts.lengths[0] != facts.lengths[1] && !facts.aligned) {
        text.Append("Different file size, comparing only minimum = ");
        text.AppendDecimal(facts.compared);
        AppendLineEnd();
    }
    return true;
}

bool TextReportSink::AppendLineEnd() {
    return output_.Text().Append(style_.lineEnd, lineEndLength_);
}

bool TextReportSink::Record(const DiffRecord& record) {
    ReportText& text = output_.Text();
    if (record.kind != RunKind::kChange) {
        return WriteMovedRecord(text, record);
    }
    // Each hex line may write one character past its end when unseparated.
    const size_t longest = kRecordFixedText + 2 * (3 * record.length + 1);
    if (char* room = text.Reserve(longest); room != nullptr) {
        DirectText direct(room);
        WriteRecord(direct, record);
        text.Commit(direct.End());
        return true;
    }
    // Near a bounded text's end, where the record is cut (a full text takes nothing and stops the
    // comparison), or a record longer than a streamed text's whole buffer.
    return WriteRecord(text, record);
}

bool TextReportSink::WriteMovedRecord(ReportText& text, const DiffRecord& record) {
    const bool inserted = record.kind == RunKind::kInsert;
    AppendLineEnd();
    text.AppendText(inserted ? kInsertedLabel : kDeletedLabel);
    text.AppendDecimal(record.length);
    AppendLineEnd();
    text.Append(kOffsetLabel);
    text.AppendHex(record.offset);
    AppendLineEnd();
    text.Append(kSecondOffsetLabel);
    text.AppendHex(record.secondOffset);
    AppendLineEnd();
    if (record.rva != 0) {
        text.Append(kRvaLabel);
        text.AppendHex(record.rva);
        AppendLineEnd();
        text.Append(kVaLabel);
        text.AppendHex(record.va);
        AppendLineEnd();
    }
    if (record.secondRva != 0) {
        text.Append(kSecondRvaLabel);
        text.AppendHex(record.secondRva);
        AppendLineEnd();
        text.Append(kSecondVaLabel);
        text.AppendHex(record.secondVa);
        AppendLineEnd();
    }
    text.AppendText(inserted ? kSecondBytesLabel : kFirstBytesLabel);
    AppendLineEnd();
    text.AppendHexBytes(inserted ? record.second : record.first, record.length,
                        style_.spaceSeparator);
    return AppendLineEnd();
}

template <typename Text>
bool TextReportSink::WriteRecord(Text& text, const DiffRecord& record) {
    const char* const lineEnd = style_.lineEnd;
    const size_t lineEndLength = lineEndLength_;
    text.Append(lineEnd, lineEndLength);
    text.Append(kOffsetLabel);
    text.AppendHex(record.offset);
    text.Append(lineEnd, lineEndLength);
    if (record.rva != 0) {
        text.Append(kRvaLabel);
        text.AppendHex(record.rva);
        text.Append(lineEnd, lineEndLength);
        text.Append(kVaLabel);
        text.AppendHex(record.va);
        text.Append(lineEnd, lineEndLength);
    }
    text.Append(kLengthLabel);
    text.AppendDecimal(record.length);
    text.Append(lineEnd, lineEndLength);
    text.Append(kFirstBytesLabel);
    text.Append(lineEnd, lineEndLength);
    text.AppendHexBytes(record.first, record.length, style_.spaceSeparator);
    text.Append(lineEnd, lineEndLength);
    text.Append(kSecondBytesLabel);
    text.Append(lineEnd, lineEndLength);
    text.AppendHexBytes(record.second, record.length, style_.spaceSeparator);
    return text.Append(lineEnd, lineEndLength);
}

bool TextReportSink::End(const ComparisonSummary& summary, Trouble& trouble) {
    ReportText& text = output_.Text();
    if (summary.stoppedAtLimit) {
        AppendLineEnd();
        text.Append("Stopped after ");
        text.AppendDecimal(summary.runs);
        text.AppendText(summary.runs == 1
                            ? " run (--max-runs); later differences are not listed."
                            : " runs (--max-runs); later differences are not listed.");
        AppendLineEnd();
    }
    if (summary.noiseSetAside) {
        AppendLineEnd();
        if (!isPe_) {
            text.Append("Build noise: the first file is no PE image, nothing was set aside.");
        } else {
            text.Append("Build noise set aside: ");
            text.AppendDecimal(summary.ignoredBytes);
            text.AppendText(summary.ignoredBytes == 1 ? " differing byte in "
                                                      : " differing bytes in ");
            text.AppendDecimal(summary.ignoredFields);
            text.AppendText(summary.ignoredFields == 1 ? " field (--ignore-pe-noise)."
                                                       : " fields (--ignore-pe-noise).");
        }
        AppendLineEnd();
    }
    return output_.Close(trouble);
}

}  // namespace tandrel
