// The main dialog as a QDialog, built from the template rows that the Windows resources use,
// with DiffDialog's handlers behind its buttons.
#pragma once

#include <QDialog>
#include <QHash>
#include <QIcon>

#include "ui/diff_dialog.h"
#include "ui/qt/qt_dialog_host.h"

namespace tandrel {

class QtMainDialog : public QDialog {
    Q_OBJECT

  public:
    // Creates the controls, attaches the host to dialog and runs its OnInitDialog. The window
    // is not shown; exec() runs it modally.
    explicit QtMainDialog(DiffDialog& dialog);
    ~QtMainDialog() override;

    // The control with that id, or null; labels have no id of their own.
    QWidget* Control(int controlId) const;
    QtDialogHost& Host() { return host_; }
    // The icon from the program's icon file, both of its images.
    const QIcon& Icon() const { return icon_; }

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    // Path boxes take drops once the dialog's initialisation prepares them, as on Windows.
    void AddControl(int controlId, const char* className, const char* text, const QRect& geometry,
                    unsigned style);
    // Every button's click, passed on to the dialog's handlers.
    void OnClicked(int controlId);

    DiffDialog& dialog_;
    QHash<int, QWidget*> controls_;
    QWidget* lastInTabOrder_ = nullptr;
    QIcon icon_;
    QtDialogHost host_{*this};
};

}  // namespace tandrel
