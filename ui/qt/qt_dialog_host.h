// The dialog-host port over the Qt main dialog's widgets.
#pragma once

#include <QString>
#include <string>

#include "ui/dialog_host.h"

namespace tandrel {

class QtMainDialog;

class QtDialogHost : public DialogHost {
  public:
    explicit QtDialogHost(QtMainDialog& window);

    // Texts cross the port as local 8-bit text, as typed file names are encoded here.
    int GetItemTextLength(int controlId) override;
    int GetItemText(int controlId, char* buffer, int maxCount) override;
    void SetItemText(int controlId, const char* text) override;
    bool IsItemChecked(int controlId) override;
    void SetItemChecked(int controlId, bool checked) override;
    const char* LineEnd() const override;
    void SetDialogIcon() override;
    void PreparePathBoxes() override;
    void SetResultFont() override;
    void UpdateResultScrollBars() override;
    void ShowWaitCursor(bool on) override;
    void ShowMessage(const char* text) override;

  protected:
    bool RunSystemFileDialog(const FileDialogRequest& request, std::string& path) override;

  private:
    QString ItemText(int controlId) const;

    QtMainDialog& window_;
};

}  // namespace tandrel
