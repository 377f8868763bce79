// What the dialog contract suite needs of a dialog backend: the real main dialog, driven and read
// through its window system as a user and the shell would. One driver per backend.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "ui/diff_dialog.h"

namespace tandrel::test {

// A control as the window system holds it: id, class ("Static", "Button" or "Edit", the Win32
// names), text, and its place in dialog units in the dialog's client area (x, y, width, height).
using ControlFacts = std::tuple<int, std::string, std::string, int, int, int, int>;

enum class Key { kEnter, kKeypadEnter, kEscape, kCloseBox };

class DialogDriver {
  public:
    // The main dialog, made as the program makes it and shown.
    static std::unique_ptr<DialogDriver> Open();
    virtual ~DialogDriver() = default;

    // The dialog itself (id 0, its caption and client size), then its children in tab order.
    virtual std::vector<ControlFacts> Controls() = 0;
    // Clicks the button. A message box that the click shows is read as the window system shows
    // it, kept (see TakeMessages) and dismissed with its OK button, as a user would; a file
    // dialog of the window system's gets the path given to TypeInFileDialog typed into its name
    // box and OK, or else Cancel.
    virtual void Click(int id) = 0;
    void TypeInFileDialog(std::string path) { typedPath_ = std::move(path); }
    // Gives id the focus in a running dialog and presses key there; true when that ended the run.
    virtual bool KeyEndsRun(int id, Key key) = 0;
    // Drops files from the file manager onto the control.
    virtual void Drop(int id, const std::vector<std::string>& paths) = 0;
    // Whether the result box shows its horizontal and its vertical scroll bar.
    virtual std::pair<bool, bool> ResultBars() = 0;
    // The advance of each printable ASCII character in the result box's font, in pixels.
    virtual std::vector<int> ResultFontAdvances() = 0;
    // Whether the application shows the wait cursor.
    virtual bool WaitCursorShown() = 0;

    // The message boxes the clicks showed since the last call, each as "title|text".
    std::vector<std::string> TakeMessages() { return std::exchange(messages_, {}); }

    // The dialog's port, which reads and sets the real controls and answers its file dialogs.
    DialogHost& Host() { return *dialog_.Host(); }
    std::string Text(int id) {
        std::string text(static_cast<size_t>(Host().GetItemTextLength(id)) + 1, '\0');
        text.resize(static_cast<size_t>(Host().GetItemText(id, text.data(), int(text.size()))));
        return text;
    }

  protected:
    DiffDialog dialog_;
    std::vector<std::string> messages_;
    std::string typedPath_;
};

}  // namespace tandrel::test
