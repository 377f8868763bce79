#include "engine/comparison.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "engine/byte_scan.h"
#include "engine/chunk_pair.h"
#include "engine/report_buffer.h"
#include "engine/report_text.h"
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

// Writes the records of one comparison.
class RecordWriter {
  public:
    RecordWriter(ReportText& text, const char* lineEnd, bool separated, const PeImageInfo* peImage)
        : text_(text),
          lineEnd_(lineEnd),
          lineEndLength_(std::strlen(lineEnd)),
          separated_(separated),
          peImage_(peImage) {}

    // Returns false when the text is full and the comparison has to stop.
    bool Write(uint64_t offset, const uint8_t* first, const uint8_t* second, size_t count) {
        // Each hex line may write one character past its end when unseparated.
        const size_t longest = kRecordFixedText + 2 * (3 * count + 1);
        if (char* room = text_.Reserve(longest); room != nullptr) {
            DirectText direct(room);
            WriteTo(direct, offset, first, second, count);
            text_.Commit(direct.End());
            return true;
        }
        // Near a bounded text's end, where the record is cut, or a record longer than a
        // streamed text's whole buffer.
        return WriteTo(text_, offset, first, second, count);
    }

  private:
    template <typename Text>
    bool WriteTo(Text& text, uint64_t offset, const uint8_t* first, const uint8_t* second,
                 size_t count) {
        text.Append(lineEnd_, lineEndLength_);
        text.Append(kOffsetLabel);
        text.AppendHex(offset);
        text.Append(lineEnd_, lineEndLength_);
        if (peImage_ != nullptr) {
            // A PE first file is below 2 GiB, so its offsets fit the 32-bit section arithmetic.
            const uint32_t rva = FileOffsetToRva(*peImage_, static_cast<uint32_t>(offset));
            if (rva != 0) {
                text.Append(kRvaLabel);
                text.AppendHex(rva);
                text.Append(lineEnd_, lineEndLength_);
                text.Append(kVaLabel);
                if (peImage_->is64) {
                    text.AppendHex(peImage_->imageBase64 + rva);
                } else {
                    text.AppendHex(static_cast<uint32_t>(peImage_->imageBase32 + rva));
                }
                text.Append(lineEnd_, lineEndLength_);
            }
        }
        text.Append(kLengthLabel);
        text.AppendDecimal(count);
        text.Append(lineEnd_, lineEndLength_);
        text.Append(kFirstBytesLabel);
        text.Append(lineEnd_, lineEndLength_);
        text.AppendHexBytes(first, count, separated_);
        text.Append(lineEnd_, lineEndLength_);
        text.Append(kSecondBytesLabel);
        text.Append(lineEnd_, lineEndLength_);
        text.AppendHexBytes(second, count, separated_);
        return text.Append(lineEnd_, lineEndLength_);
    }

    ReportText& text_;
    const char* lineEnd_;
    size_t lineEndLength_;
    bool separated_;
    const PeImageInfo* peImage_;
};

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

void WriteHeader(ReportText& text, const char* firstPath, const char* secondPath,
                 const char* lineEnd, bool shortNames, bool isPe) {
    text.Append("Comparing ");
    text.AppendText(shortNames ? FileNameFromPath(firstPath) : firstPath);
    text.AppendText(lineEnd);
    text.Append(" and ");
    text.AppendText(shortNames ? FileNameFromPath(secondPath) : secondPath);
    text.AppendText(lineEnd);
    if (!isPe) {
        text.Append("Warning: not a PE file!");
        text.AppendText(lineEnd);
    }
}

}  // namespace

bool CompareFiles(PeImageInfo& peImage, const char* firstPath, const char* secondPath,
                  const ReportOptions& options, ReportOutput& output) {
    output.text = nullptr;
    if (firstPath == nullptr || *firstPath == '\0' || secondPath == nullptr ||
        *secondPath == '\0') {
        return false;
    }
    ChunkPair files;
    if (!files.Open(firstPath, secondPath, peImage) || !files.ReadChunk()) {
        return false;
    }
    char* const buffer = ReportBuffer();
    if (buffer == nullptr) {
        return false;
    }

    const char* const lineEnd = options.lineEnd;
    // A whole text is cut at its limit; a streamed one goes out through the buffer whenever it
    // fills.
    ReportText text =
        output.wholeText
            ? ReportText::Bounded(buffer, std::min(output.textLimit + 1, kReportBufferSize))
            : ReportText::Streamed(buffer, kReportBufferSize, output.stream);

    const bool isPe = files.FirstIsPeImage();
    WriteHeader(text, firstPath, secondPath, lineEnd, options.shortNames, isPe);
    if (files.FirstSize() != files.SecondSize()) {
        text.Append("Different file size, comparing only minimum = ");
        text.AppendDecimal(std::min(files.FirstSize(), files.SecondSize()));
        text.AppendText(lineEnd);
    }

    RecordWriter records(text, lineEnd, options.spaceSeparator, isPe ? &peImage : nullptr);
    const uint8_t* const a = files.First();
    const uint8_t* const b = files.Second();
    uint64_t baseOffset = 0;
    // Once either file is exhausted nothing more can be compared, so reading stops there.
    bool going = !text.IsFull();
    bool readFailed = false;
    while (going && files.CompareLength() > 0) {
        // Runs end at the chunk's end: differing bytes at the start of the next chunk begin a
        // new record. Outside the segments both files are equal, so a run never leaves one.
        for (const ChunkPair::Segment& segment : files.Segments()) {
            size_t i = FindMismatch(a, b, segment.begin, segment.end);
            while (i < segment.end) {
                const size_t end = FindMatch(a, b, i + 1, segment.end);
                if (!records.Write(baseOffset + i, a + i, b + i, end - i)) {
                    going = false;
                    break;
                }
                // The equal byte that ended the run needs no second look.
                i = end < segment.end ? FindMismatch(a, b, end + 1, segment.end) : end;
            }
            if (!going) {
                break;
            }
        }
        baseOffset += files.CompareLength();
        if (!going || files.EndedEarly()) {
            break;
        }
        if (!files.ReadChunk()) {
            readFailed = true;  // a failed read counts as nothing read
            break;
        }
    }

    const bool compared = !readFailed && !files.EndedEarly();
    if (output.wholeText) {
        output.text = text.Text();
        return compared;
    }
    return text.Flush() && compared;
}

}  // namespace tandrel
