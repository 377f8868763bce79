// What the dialog contract suite needs of a dialog backend: the real main dialog, driven and read
// through its window system as a user and the shell would. One driver per backend.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "ui/diff_dialog.h"

namespace tandrel::test {

// A control as the window system holds it; the place in dialog units, in the dialog's client
// area. The class is the Win32 one: "Static", "Button" or "Edit".
struct ControlFacts {
    int id = 0;
    std::string className;
    std::string text;
    int x = 0, y = 0, width = 0, height = 0;

    bool operator==(const ControlFacts&) const = default;
    friend void PrintTo(const ControlFacts& c, std::ostream* out) {
        *out << c.id << " " << c.className << " \"" << c.text << "\" at " << c.x << "," << c.y
             << " " << c.width << "x" << c.height;
    }
};

enum class Key { kEnter, kKeypadEnter, kEscape, kCtrlEnter, kCloseBox };

class DialogDriver {
  public:
    // The main dialog, made as the program makes it and shown.
    static std::unique_ptr<DialogDriver> Open();
    virtual ~DialogDriver() = default;

    // The dialog itself (id 0, its caption and client size), then its children in tab order.
    virtual std::vector<ControlFacts> Controls() = 0;

    // Texts and check states through the dialog's port, which reads and sets the real controls.
    std::string Text(int id) {
        std::string text(static_cast<size_t>(Host().GetItemTextLength(id)) + 1, '\0');
        const int length = Host().GetItemText(id, text.data(), static_cast<int>(text.size()));
        text.resize(static_cast<size_t>(length));
        return text;
    }
    void SetText(int id, const std::string& text) { Host().SetItemText(id, text.c_str()); }
    bool IsChecked(int id) { return Host().IsItemChecked(id); }
    virtual void Click(int id) = 0;
    // Types at the end of the control's text, as the keyboard does.
    virtual void Type(int id, const std::string& text) = 0;
    // Runs a fresh dialog modally, gives id the focus and presses key there; true when that
    // ended the run.
    virtual bool KeyEndsRun(int id, Key key) = 0;
    // Drops files from the file manager onto the control.
    virtual void Drop(int id, const std::vector<std::string>& paths) = 0;
    // The next file dialog is answered with OK and path, or Cancel when there is none.
    void AnswerNextFileDialog(std::optional<std::string> path) { answer_ = std::move(path); }
    virtual bool ResultBarShown(bool horizontal) = 0;
    virtual bool ResultFontIsFixedPitch() = 0;

    // The report the real program writes headless for the two paths (separator on, short names
    // off), as its file stores it.
    virtual std::string HeadlessReport(const std::string& first, const std::string& second) = 0;

  protected:
    // Once the window exists: its file dialogs get the answer given, once. One that no test
    // expected fails the test and is cancelled, so that nothing waits for a user.
    void AnswerFileDialogs() {
        Host().SetFileDialogAnswerer([this](const FileDialogRequest&, std::string& path) {
            EXPECT_TRUE(answer_.has_value()) << "a file dialog nobody answers";
            const std::optional<std::string> given = answer_.value_or(std::nullopt);
            answer_.reset();
            path = given.value_or("");
            return given.has_value();
        });
    }

    DiffDialog dialog_;

  private:
    DialogHost& Host() { return *dialog_.Host(); }

    std::optional<std::optional<std::string>> answer_;
};

}  // namespace tandrel::test
