#include "formats/report_output.h"

#include <algorithm>

#include "formats/report_buffer.h"

namespace tandrel {

bool ReportOutput::Open(std::span<const InputFile* const> inputs, Trouble& trouble) {
    char* const buffer = ReportBuffer();
    if (buffer == nullptr) {
        trouble.Set("", "not enough memory");
        return false;
    }
    if (limit_ > 0) {
        text_ = TextBuffer::Bounded(buffer, std::min(limit_ + 1, kReportBufferSize));
        return true;
    }
    if (!path_.empty() && !file_.Open(path_.c_str(), binary_, asNewFile_, inputs, trouble)) {
        return false;
    }
    text_ = TextBuffer::Streamed(buffer, kReportBufferSize, file_.Stream());
    return true;
}

bool ReportOutput::Writable(Trouble& trouble) const {
    if (!text_.has_value() || !text_->Full()) {
        return true;
    }
    if (text_->WriteError() == 0) {
        return false;  // a bounded text that is full: no fault, but nothing more goes in
    }
    trouble.Set(path_, SystemReason(text_->WriteError()));
    return false;
}

bool ReportOutput::Close(Trouble& trouble, bool keep) {
    if (limit_ > 0 || !text_.has_value()) {
        return true;
    }
    if (!text_->Flush()) {
        trouble.Set(path_, SystemReason(text_->WriteError()));
        file_.Close(trouble, false);
        return false;
    }
    return file_.Close(trouble, keep);
}

}  // namespace tandrel
