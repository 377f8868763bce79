// The real Qt main dialog for tests: built as the dialog run builds it, shown on the offscreen
// platform, with typed access to its controls.
#pragma once

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "res/resource.h"
#include "tests/support/temp_dir.h"
#include "ui/diff_dialog.h"
#include "ui/qt/path_box.h"
#include "ui/qt/qt_main_dialog.h"
#include "ui/qt/result_edit.h"

class QFileDialog;

namespace tandrel::test {

// The test process's one QApplication, alive while its scope is, in the suites' main. Qt's
// file dialogs keep their history under XDG_CONFIG_HOME, which points into a folder of the run.
class ApplicationScope {
  public:
    ApplicationScope();
    ~ApplicationScope();
    ApplicationScope(const ApplicationScope&) = delete;
    ApplicationScope& operator=(const ApplicationScope&) = delete;

  private:
    std::unique_ptr<TempDir> configHome_;
    std::unique_ptr<QApplication> application_;
};

class DialogUnderTest {
  public:
    DialogUnderTest();
    ~DialogUnderTest();

    // Shows the window and waits until it is exposed and active.
    void Show();

    QtMainDialog& Window() { return *window_; }
    QtDialogHost& Host() { return window_->Host(); }
    DiffDialog& Dialog() { return dialog_; }
    PathBox& FirstPath() { return Get<PathBox>(IDC_FIRST_PATH); }
    PathBox& SecondPath() { return Get<PathBox>(IDC_SECOND_PATH); }
    ResultEdit& Result() { return Get<ResultEdit>(IDC_RESULT); }
    QCheckBox& Check(int controlId) { return Get<QCheckBox>(controlId); }
    QPushButton& Button(int controlId) { return Get<QPushButton>(controlId); }

    // Puts local 8-bit paths into the two boxes and clicks Compare with the mouse.
    void Compare(const std::string& first, const std::string& second);
    void Click(int buttonId);
    // A control's text through the port, as local 8-bit bytes.
    std::string Text(int controlId);

  private:
    template <typename T>
    T& Get(int controlId) {
        T* control = qobject_cast<T*>(window_->Control(controlId));
        if (control == nullptr) {
            std::abort();
        }
        return *control;
    }

    DiffDialog dialog_;
    std::unique_ptr<QtMainDialog> window_;
};

// Calls action with the first visible window of type T once one is shown, polling from the
// event loop that a modal run spins; gives up with a test failure after five seconds. Call it
// before the step that opens the window. The action must close the window it was given.
void WhenShownImpl(const std::function<QWidget*()>& find,
                   const std::function<void(QWidget*)>& action);

template <typename T>
void WhenShown(std::function<void(T*)> action) {
    WhenShownImpl(
        []() -> QWidget* {
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                if (T* found = qobject_cast<T*>(widget); found != nullptr && found->isVisible()) {
                    return found;
                }
            }
            return nullptr;
        },
        [action](QWidget* widget) { action(static_cast<T*>(widget)); });
}

// Types name into a real QFileDialog's name box, as a user would, and presses one of its
// buttons.
void TypeNameAndPress(QFileDialog* dialog, const QString& name,
                      QDialogButtonBox::StandardButton which);

}  // namespace tandrel::test
