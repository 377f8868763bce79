// The dialog-host port over the Win32 main dialog's controls.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "ui/dialog_host.h"

namespace tandrel {

class Win32MainDialog;

class Win32DialogHost : public DialogHost {
  public:
    // Answers a file dialog in place of the real one: true with the chosen path for OK.
    using FileDialogAnswerer = std::function<bool(const FileDialogRequest&, std::string& path)>;

    explicit Win32DialogHost(Win32MainDialog& window);

    // With no answerer (the default) the real common dialog runs.
    void SetFileDialogAnswerer(FileDialogAnswerer answerer);

    int GetItemTextLength(int controlId) override;
    int GetItemText(int controlId, char* buffer, int maxCount) override;
    void SetItemText(int controlId, const char* text) override;
    bool IsItemChecked(int controlId) override;
    void SetItemChecked(int controlId, bool checked) override;
    const char* LineEnd() const override { return "\r\n"; }
    void SetDialogIcon() override;
    void PreparePathBoxes() override;
    void SetResultFont() override;
    void UpdateResultScrollBars() override;
    bool RunFileDialog(const FileDialogRequest& request, std::string& path) override;
    bool PaintMinimizedIcon() override;
    intptr_t DragIcon() override;

  private:
    HWND Item(int controlId) const;

    Win32MainDialog& window_;
    FileDialogAnswerer answerer_;
};

}  // namespace tandrel
