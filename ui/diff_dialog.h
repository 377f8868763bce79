// The program's one dialog object: it runs the dialog's comparisons and keeps the PE facts of the
// last first file that was an image, and it handles the main dialog's controls through a
// DialogHost. The headless run compares without it.
#pragma once

#include <cstdint>

#include "engine/comparison.h"
#include "engine/pe_image.h"
#include "engine/record_sink.h"
#include "ui/dialog_host.h"

namespace tandrel {

class DiffDialog {
  public:
    DiffDialog() = default;
    DiffDialog(const DiffDialog&) = delete;
    DiffDialog& operator=(const DiffDialog&) = delete;

    // Compares the two files, or the two folders, into the result box of dialogHost: the report
    // is built in the options its check boxes set and handed to the box whole, whose scroll bars
    // are then fitted. A comparison that cannot do its job (an input missing, unreadable,
    // changed meanwhile) ends the box's text with its trouble's line, "FILE: reason" as the
    // command line says it, or shows that line alone when it wrote nothing.
    ComparisonOutcome RunComparison(const char* firstPath, const char* secondPath,
                                    DialogHost* dialogHost, const ComparisonOptions& options = {});
    const PeImageInfo& PeImage() const { return peImage_; }

    // The backend attaches its host once the controls exist and detaches it (null) when the
    // window is gone.
    void AttachHost(DialogHost* host) { host_ = host; }
    DialogHost* Host() const { return host_; }

    bool OnInitDialog();
    void OnCompare();
    void OnBrowseFirst();
    void OnBrowseSecond();
    void OnSaveResult();
    bool OnPaint();
    intptr_t OnQueryDragIcon();

    // A click on a button: runs the button's handler and returns true, or returns false when the
    // control has none.
    bool OnCommand(int controlId);

  private:
    // Paths are read from the boxes through buffers of this size, so at most 1,999 characters.
    static constexpr int kPathBufferSize = 2000;

    void Browse(int pathBoxId, const char* title);
    // False, with nothing read and the reason in the result box, when the box's text does not
    // fit the buffer.
    bool ReadPathBox(int pathBoxId, char (&path)[kPathBufferSize]);

    PeImageInfo peImage_;
    DialogHost* host_ = nullptr;
};

}  // namespace tandrel
