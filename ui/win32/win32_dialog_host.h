// The dialog-host port over the Win32 main dialog's controls.
#pragma once

#include <windows.h>

#include <string>

#include "ui/dialog_host.h"

namespace tandrel {

class Win32MainDialog;

class Win32DialogHost : public DialogHost {
  public:
    explicit Win32DialogHost(Win32MainDialog& window);

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
    void ShowWaitCursor(bool on) override;
    void ShowMessage(const char* text) override;
    bool PaintMinimizedIcon() override;
    intptr_t DragIcon() override;

  protected:
    bool RunSystemFileDialog(const FileDialogRequest& request, std::string& path) override;

  private:
    HWND Item(int controlId) const;

    Win32MainDialog& window_;
    HCURSOR cursorBeforeWait_ = nullptr;
};

}  // namespace tandrel
