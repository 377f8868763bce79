// The program's one dialog object: it holds the first file's PE facts and runs comparisons on
// them (its comparison side, used headless too), and it handles the main dialog's controls
// through a DialogHost (its dialog side).
#pragma once

#include <cstdint>
#include <cstdio>

#include "engine/pe_image.h"
#include "engine/result_box.h"
#include "ui/dialog_host.h"

namespace tandrel {

class DiffDialog {
  public:
    DiffDialog() = default;
    DiffDialog(const DiffDialog&) = delete;
    DiffDialog& operator=(const DiffDialog&) = delete;

    // True when the comparison did its whole job (see tandrel::RunComparison).
    bool RunComparison(const char* firstPath, const char* secondPath, ResultBox* resultBox,
                       std::FILE* stream);

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

    // The message map's BN_CLICKED entries: runs the handler of the control and returns true,
    // or returns false when the control has none.
    bool OnCommand(int controlId);

  private:
    class HostResultBox : public ResultBox {
      public:
        explicit HostResultBox(DiffDialog& dialog) : dialog_(dialog) {}
        const char* LineEnd() const override;
        int TextLength() override;
        int CopyText(char* buffer, int maxCount) override;
        void ReplaceText(const char* text) override;
        bool IsSpaceSeparatorOn() override;
        bool IsShortNamesOn() override;
        void UpdateScrollBars() override;

      private:
        DiffDialog& dialog_;
    };

    // Paths are read from the boxes through buffers of this size, so at most 1,999 characters.
    static constexpr int kPathBufferSize = 2000;

    void Browse(int pathBoxId, const char* title);
    // False, with nothing read, when the box's text does not fit the buffer.
    bool ReadPathBox(int pathBoxId, char (&path)[kPathBufferSize]);

    PeImageInfo peImage_;
    HostResultBox resultBox_{*this};
    DialogHost* host_ = nullptr;
};

}  // namespace tandrel
