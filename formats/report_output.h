// Where a format's text goes: streamed to a file through the report buffer as it fills, or kept
// whole in the report buffer for a box that takes its text at once.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>

#include "engine/record_sink.h"
#include "formats/text_buffer.h"
#include "platform/output_file.h"

namespace tandrel {

class ReportOutput {
  public:
    // Streamed to the file at path, created or truncated only once both inputs are open; an
    // empty path names no file (the text is dropped). Binary: no line-end translation.
    static ReportOutput ToFile(std::string path, bool binary) {
        return ReportOutput(std::move(path), binary, false, 0);
    }
    // Streamed to a new file beside path, which takes path's place only when the output is kept
    // (a patch written whole); standard output, a device or a FIFO is written as it is.
    static ReportOutput ToNewFile(std::string path, bool binary) {
        return ReportOutput(std::move(path), binary, true, 0);
    }
    // Kept whole, at most limit characters: what does not fit is cut, and the comparison stops.
    static ReportOutput ToText(size_t limit) { return ReportOutput("", false, false, limit); }

    // Opens the file, refusing one that is an input; false, with the reason, when it cannot be
    // had (nothing has then been written or cut).
    bool Open(std::span<const InputFile* const> inputs, Trouble& trouble);
    bool Open(const ComparisonFacts& facts, Trouble& trouble) {
        return Open(facts.inputs, trouble);
    }
    bool IsOpen() const { return text_.has_value(); }
    // False once the output takes no more: with the reason when a write to the file failed,
    // without one when a bounded text is full.
    bool Writable(Trouble& trouble) const;
    // True, with the reason, once a write to the file has failed: what was written is not whole.
    bool Failed(Trouble& trouble) const {
        Trouble reason;
        return !Writable(reason) && !reason.Empty() &&
               (trouble.Set(reason.file, reason.reason), true);
    }
    TextBuffer& Text() { return *text_; }
    // Writes out what is left and closes the file; false, with the reason, when the text did not
    // all reach it. A new file not kept is removed, and the path left as it was.
    bool Close(Trouble& trouble, bool keep = true);
    // The whole text so far, zero-terminated, in the report buffer (a text kept whole).
    const char* WholeText() { return text_->Text(); }

  private:
    ReportOutput(std::string path, bool binary, bool asNewFile, size_t limit)
        : path_(std::move(path)), binary_(binary), asNewFile_(asNewFile), limit_(limit) {}

    std::string path_;
    bool binary_;
    bool asNewFile_;
    size_t limit_;  // 0: streamed
    OutputFile file_;
    std::optional<TextBuffer> text_;
};

}  // namespace tandrel
