// The program's one dialog object: it holds the first file's PE facts and runs comparisons on
// them (its comparison side, used headless too), and it handles the main dialog's controls
// through a DialogHost (its dialog side).
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

    // Compares the two files on the PE facts this object holds. With dialogHost (dialog mode),
    // the report is built in the options its check boxes set and handed to the result box
    // whole, whose scroll bars are then fitted. A comparison that cannot do its job (an input
    // missing, unreadable, a folder, changed meanwhile) ends the box's text with its trouble's
    // line, "FILE: reason" as the command line says it, or shows that line alone when it wrote
    // nothing. Without one (file mode) the records go to sink, whose output is opened
    // once both inputs are; a null sink drops them.
    ComparisonOutcome RunComparison(const char* firstPath, const char* secondPath,
                                    DialogHost* dialogHost, RecordSink* sink,
                                    const ComparisonOptions& options = {});

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
