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

template <size_t N>
char* Put(char* out, const char (&text)[N]) {
    std::memcpy(out, text, N - 1);
    return out + N - 1;
}

// The usual record, straight into room reserved for it: with "\n" line ends and no image place
// each label and the line ends around it are one constant, stored in a move or two.
char* WriteNewlineRecord(char* out, const DiffRecord& record, bool separated) {
    out = Put(out, "\nFile offset = ");
    out = FormatHex(out, record.offset);
    out = Put(out, "\nBytes Size (dec) = ");
    out = FormatDecimal(out, record.length);
    out = Put(out, "\nFirst file bytes: \n");
    out = FormatHexBytes(out, record.first, record.length, separated);
    out = Put(out, "\nSecond file bytes: \n");
    out = FormatHexBytes(out, record.second, record.length, separated);
    *out = '\n';
    return out + 1;
}

// The header's short name: the part of the path after its last separator found at index 1 or
// later, the whole path when there is none. Only the platform's own separator counts (on Windows
// the backslash, not '/' nor a drive's ':'), so it is not FileNameOf: the dialog's report keeps
// the rule it has always had.
const char* FileNameFromPath(const char* path) {
    for (size_t i = std::strlen(path); i-- > 1;) {
        if (path[i] == kPathSeparator) {
            return path + i + 1;
        }
    }
    return path;
}

// One side's instructions under a run, one a line: VA, bytes, text ("40100F  33 C0  xor eax,
// eax"); "none" outside x86 code.
bool AppendCode(TextBuffer& text, const char* label, const CodeListing* code,
                std::string_view lineEnd) {
    text.AppendText(label);
    if (code == nullptr) {
        text.Append(" none");
    }
    if (!text.Append(lineEnd.data(), lineEnd.size())) {
        return false;
    }
    return code == nullptr || code->ForEach([&text, lineEnd](const Instruction& instruction) {
        text.AppendHex(instruction.va);
        text.Append("  ");
        text.AppendHexBytes(instruction.bytes, instruction.length, true);
        text.Append(" ", 1);
        const std::string_view words = instruction.Text();
        text.Append(words.data(), words.size());
        return text.Append(lineEnd.data(), lineEnd.size());
    });
}

// Records outside x86 code on both sides stay as they are.
bool AppendCodeLines(TextBuffer& text, const DiffRecord& record, std::string_view lineEnd) {
    if (record.code[0] == nullptr && record.code[1] == nullptr) {
        return true;
    }
    return AppendCode(text, "First file code:", record.code[0], lineEnd) &&
           AppendCode(text, "Second file code:", record.code[1], lineEnd);
}

}  // namespace

bool TextReportSink::Begin(const ComparisonFacts& facts, Trouble&) {
    lineEndLength_ = std::strlen(style_.lineEnd);
    isPe_ = facts.peImage != nullptr;
    facts_ = &facts;
    headerPending_ = true;
    if (!style_.manyPairs) {
        WriteHeader();
    }
    return true;
}

void TextReportSink::WriteHeader() {
    headerPending_ = false;
    const ComparisonFacts& facts = *facts_;
    TextBuffer& text = output_.Text();
    if (style_.manyPairs && wroteAny_) {
        AppendLineEnd();
    }
    wroteAny_ = true;
    lastWasReport_ = true;
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
}

bool TextReportSink::AppendLineEnd() {
    return output_.Text().Append(style_.lineEnd, lineEndLength_);
}

bool TextReportSink::Record(const DiffRecord& record) {
    if (headerPending_) {
        WriteHeader();
    }
    TextBuffer& text = output_.Text();
    if (record.kind != RunKind::kChange) {
        return WriteMovedRecord(text, record);
    }
    // Each hex line may write one character past its end when unseparated.
    const size_t longest = kRecordFixedText + 2 * (3 * record.length + 1);
    if (char* room = text.Reserve(longest); room != nullptr) {
        if (record.rva == 0 && lineEndLength_ == 1 && style_.lineEnd[0] == '\n') {
            text.Commit(WriteNewlineRecord(room, record, style_.spaceSeparator));
            return !record.codeAsked ||
                   AppendCodeLines(text, record, {style_.lineEnd, lineEndLength_});
        }
        DirectText direct(room);
        WriteRecord(direct, record);
        text.Commit(direct.End());
        return AppendCodeLines(text, record, {style_.lineEnd, lineEndLength_});
    }
    // Near a bounded text's end, where the record is cut (a full text takes nothing and stops the
    // comparison), or a record longer than a streamed text's whole buffer.
    return WriteRecord(text, record) &&
           AppendCodeLines(text, record, {style_.lineEnd, lineEndLength_});
}

bool TextReportSink::WriteMovedRecord(TextBuffer& text, const DiffRecord& record) {
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
    if (headerPending_) {
        // Many pairs: one found identical writes nothing at all.
        if (summary.identical) {
            headerPending_ = false;
            facts_ = nullptr;
            return !output_.Failed(trouble);
        }
        WriteHeader();
    }
    facts_ = nullptr;
    TextBuffer& text = output_.Text();
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
    return !output_.Failed(trouble);
}

void TextReportSink::StartEntryLine() {
    lineEndLength_ = std::strlen(style_.lineEnd);
    if (lastWasReport_) {
        AppendLineEnd();
    }
    wroteAny_ = true;
    lastWasReport_ = false;
}

namespace {

const char* KindWords(EntryKind kind) {
    switch (kind) {
        case EntryKind::kFile:
            return "a regular file";
        case EntryKind::kFolder:
            return "a folder";
        case EntryKind::kLink:
            return "a symbolic link";
        case EntryKind::kOther:
            break;
    }
    return "a special file";
}

// "N word" or "N words".
void AppendCount(TextBuffer& text, uint64_t count, const char* one, const char* many) {
    text.AppendDecimal(count);
    text.AppendText(count == 1 ? one : many);
}

}  // namespace

bool TextReportSink::Only(int, const char* folder, const char* name, EntryKind) {
    StartEntryLine();
    TextBuffer& text = output_.Text();
    text.Append("Only in ");
    text.AppendText(folder);
    text.Append(": ");
    text.AppendText(name);
    return AppendLineEnd();
}

bool TextReportSink::Mismatch(const char* firstPath, const char* secondPath, EntryKind first,
                              EntryKind second) {
    StartEntryLine();
    TextBuffer& text = output_.Text();
    text.Append("File ");
    text.AppendText(firstPath);
    text.Append(" is ");
    text.AppendText(KindWords(first));
    text.Append(" while file ");
    text.AppendText(secondPath);
    text.Append(" is ");
    text.AppendText(KindWords(second));
    return AppendLineEnd();
}

bool TextReportSink::Link(const char* firstPath, const char* secondPath, const char* firstTarget,
                          const char* secondTarget) {
    if (std::strcmp(firstTarget, secondTarget) == 0) {
        return true;
    }
    StartEntryLine();
    TextBuffer& text = output_.Text();
    text.Append("Symbolic links ");
    text.AppendText(firstPath);
    text.Append(" -> ");
    text.AppendText(firstTarget);
    text.Append(" and ");
    text.AppendText(secondPath);
    text.Append(" -> ");
    text.AppendText(secondTarget);
    text.Append(" differ");
    return AppendLineEnd();
}

bool TextReportSink::Error(const char* path, const char* reason) {
    StartEntryLine();
    TextBuffer& text = output_.Text();
    text.Append("Cannot compare ");
    text.AppendText(path);
    text.Append(": ");
    text.AppendText(reason);
    return AppendLineEnd();
}

bool TextReportSink::Total(const TreeTotals& totals) {
    lineEndLength_ = std::strlen(style_.lineEnd);
    if (wroteAny_) {
        AppendLineEnd();
    }
    wroteAny_ = true;
    lastWasReport_ = false;
    TextBuffer& text = output_.Text();
    text.Append("Total: ");
    AppendCount(text, totals.pairs, " pair of files (", " pairs of files (");
    text.AppendDecimal(totals.identical);
    text.Append(" identical, ");
    text.AppendDecimal(totals.different);
    text.Append(" different), ");
    text.AppendDecimal(totals.onlyFirst);
    text.Append(" only in the first, ");
    text.AppendDecimal(totals.onlySecond);
    text.Append(" only in the second, ");
    AppendCount(text, totals.mismatches, " mismatch, ", " mismatches, ");
    AppendCount(text, totals.links, " pair of links (", " pairs of links (");
    text.AppendDecimal(totals.linksDiffering);
    text.Append(" differing), ");
    AppendCount(text, totals.errors, " error; ", " errors; ");
    AppendCount(text, totals.runs, " run, ", " runs, ");
    AppendCount(text, totals.bytes, " differing byte.", " differing bytes.");
    if (!totals.complete) {
        text.Append(" Stopped before the end: later entries are not listed.");
    }
    return AppendLineEnd();
}

}  // namespace tandrel
