#include "ui/diff_dialog.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "engine/tree_comparison.h"
#include "formats/opening_sink.h"
#include "formats/report_buffer.h"
#include "formats/report_output.h"
#include "formats/text_report.h"
#include "platform/file_system.h"
#include "platform/folder_walk.h"
#include "res/resource.h"

namespace tandrel {
namespace {

constexpr char kOpenFilter[] = "All Files (*.*)\0*.*\0";
constexpr char kSaveFilter[] = "All Files (*.txt)\0*.txt\0";

// The result box holds at most this many characters, the start of a longer report.
constexpr size_t kResultBoxLimit = 299999;

struct ButtonHandler {
    int controlId;
    void (DiffDialog::*handler)();
};

constexpr ButtonHandler kButtonHandlers[] = {
    {IDC_BROWSE_FIRST, &DiffDialog::OnBrowseFirst},
    {IDC_BROWSE_SECOND, &DiffDialog::OnBrowseSecond},
    {IDC_COMPARE, &DiffDialog::OnCompare},
    {IDC_SAVE_RESULT, &DiffDialog::OnSaveResult},
};

bool EndsWithTxt(const std::string& path) {
    if (path.size() < 4) {
        return false;
    }
    std::string tail = path.substr(path.size() - 4);
    for (char& c : tail) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return tail == ".txt";
}

// The box's text for a comparison that could not do its job: the report so far, if any, then the
// trouble's line, which the report gives way to at the box's limit.
std::string TextWithTrouble(std::string report, const std::string& line, const char* lineEnd) {
    const size_t endLength = std::strlen(lineEnd);
    const size_t needed = line.size() + 2 * endLength;
    report.resize(std::min(report.size(), kResultBoxLimit - std::min(kResultBoxLimit, needed)));
    if (!report.empty() && !report.ends_with(lineEnd)) {
        report += lineEnd;
    }
    return report + line;
}

// The wait cursor while a handler works: the dialog does not respond meanwhile.
class WaitCursor {
  public:
    explicit WaitCursor(DialogHost& host) : host_(host) { host_.ShowWaitCursor(true); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
    ~WaitCursor() { host_.ShowWaitCursor(false); }

  private:
    DialogHost& host_;
};

}  // namespace

ComparisonOutcome DiffDialog::RunComparison(const char* firstPath, const char* secondPath,
                                            DialogHost* dialogHost,
                                            const ComparisonOptions& options) {
    TextReportStyle style;
    style.lineEnd = dialogHost->LineEnd();
    style.spaceSeparator = dialogHost->IsItemChecked(IDC_SPACE_SEPARATOR);
    style.shortNames = dialogHost->IsItemChecked(IDC_SHORT_NAMES);
    ReportOutput box = ReportOutput::ToText(kResultBoxLimit);
    ComparisonOutcome outcome;
    if (*firstPath != '\0' && *secondPath != '\0' && PathIsFolder(firstPath) &&
        PathIsFolder(secondPath)) {
        // Two folders, as the command line compares them: the box takes the text report, whose
        // lines say which entries could not be compared.
        style.manyPairs = true;
        TextReportSink report(box, style);
        box.Open(std::span<const InputFile* const>(), outcome.trouble);
        TreeComparison tree(options, report, report);
        tree.CompareFolders(firstPath, secondPath);
        report.Total(tree.Totals());
        outcome.began = true;
        outcome.done = tree.Fault().Empty() && tree.Totals().errors == 0;
    } else {
        TextReportSink report(box, style);
        outcome = CompareInto(firstPath, secondPath, options, report, box);
        if (outcome.isPe) {
            peImage_ = outcome.peImage;
        }
    }
    if (!outcome.trouble.Empty()) {
        const std::string text = TextWithTrouble(outcome.began ? box.WholeText() : "",
                                                 outcome.trouble.Line(), style.lineEnd);
        dialogHost->SetItemText(IDC_RESULT, text.c_str());
        dialogHost->UpdateResultScrollBars();
    } else if (outcome.began) {
        dialogHost->SetItemText(IDC_RESULT, box.WholeText());
        dialogHost->UpdateResultScrollBars();
    }
    return outcome;
}

bool DiffDialog::OnInitDialog() {
    host_->SetDialogIcon();
    host_->SetItemChecked(IDC_SPACE_SEPARATOR, true);
    host_->PreparePathBoxes();
    host_->SetResultFont();
    host_->UpdateResultScrollBars();
    return true;
}

bool DiffDialog::ReadPathBox(int pathBoxId, char (&path)[kPathBufferSize]) {
    // A path cut to the buffer could name another file ("f.bin" of "f.bin.orig"), so one that
    // does not fit is not read into it: the Compare fails as for a path that cannot be opened.
    const int length = host_->GetItemTextLength(pathBoxId);
    if (length >= kPathBufferSize) {
        std::string whole(static_cast<size_t>(length) + 1, '\0');
        whole.resize(static_cast<size_t>(
            std::max(0, host_->GetItemText(pathBoxId, whole.data(), length + 1))));
        Trouble trouble;
        trouble.Set(whole, "File name too long");
        host_->SetItemText(IDC_RESULT, trouble.Line().c_str());
        host_->UpdateResultScrollBars();
        return false;
    }
    host_->GetItemText(pathBoxId, path, kPathBufferSize);
    return true;
}

void DiffDialog::OnCompare() {
    char first[kPathBufferSize];
    char second[kPathBufferSize];
    if (ReadPathBox(IDC_FIRST_PATH, first) && ReadPathBox(IDC_SECOND_PATH, second)) {
        const WaitCursor busy(*host_);
        RunComparison(first, second, host_);
    }
}

void DiffDialog::Browse(int pathBoxId, const char* title) {
    FileDialogRequest request;
    request.kind = FileDialogKind::kOpen;
    request.title = title;
    request.filter = kOpenFilter;
    std::string path;
    if (host_->RunFileDialog(request, path)) {
        host_->SetItemText(pathBoxId, path.c_str());
    }
}

void DiffDialog::OnBrowseFirst() {
    Browse(IDC_FIRST_PATH, "Select First file:");
}

void DiffDialog::OnBrowseSecond() {
    Browse(IDC_SECOND_PATH, "Select Second file:");
}

void DiffDialog::OnSaveResult() {
    // The box text normally fits the shared report buffer; an edited box may hold more, and is
    // then written whole from a buffer of its own rather than cut.
    const int length = host_->GetItemTextLength(IDC_RESULT);
    if (length <= 0) {
        return;
    }
    std::vector<char> larger;
    char* text = nullptr;
    if (static_cast<size_t>(length) < kReportBufferSize && ReportBuffer() != nullptr) {
        text = ReportBuffer();
    } else {
        larger.resize(static_cast<size_t>(length) + 1);
        text = larger.data();
    }
    const int copied = host_->GetItemText(IDC_RESULT, text, length + 1);
    if (copied <= 0) {
        return;
    }

    FileDialogRequest request;
    request.kind = FileDialogKind::kSave;
    request.title = "Save result into txt file:";
    request.filter = kSaveFilter;
    std::string path;
    if (!host_->RunFileDialog(request, path)) {
        return;
    }
    if (!EndsWithTxt(path)) {
        path += ".txt";
    }
    // A file is never replaced: one that exists is refused like one that cannot be written, and
    // the user is told why, once the wait is over.
    Trouble trouble;
    bool written = false;
    {
        const WaitCursor busy(*host_);
        written = WriteNewFile(path.c_str(), text, static_cast<size_t>(copied), trouble);
    }
    if (!written) {
        host_->ShowMessage(trouble.Line().c_str());
    }
}

bool DiffDialog::OnPaint() {
    return host_->PaintMinimizedIcon();
}

intptr_t DiffDialog::OnQueryDragIcon() {
    return host_->DragIcon();
}

bool DiffDialog::OnCommand(int controlId) {
    for (const ButtonHandler& entry : kButtonHandlers) {
        if (entry.controlId == controlId) {
            (this->*entry.handler)();
            return true;
        }
    }
    return false;
}

}  // namespace tandrel
