// The port through which DiffDialog's handlers reach their window system. Each backend (Win32,
// Qt) implements it over its real controls; the handlers are written once against it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

namespace tandrel {

enum class FileDialogKind { kOpen, kSave };

struct FileDialogRequest {
    FileDialogKind kind = FileDialogKind::kOpen;
    const char* title = "";
    // Description and pattern pairs, each zero-terminated, the list ended by an empty text.
    const char* filter = "";
};

class DialogHost {
  public:
    virtual ~DialogHost() = default;

    // Control text, with GetWindowTextA's bounds: at most maxCount - 1 characters and a zero.
    virtual int GetItemTextLength(int controlId) = 0;
    virtual int GetItemText(int controlId, char* buffer, int maxCount) = 0;
    virtual void SetItemText(int controlId, const char* text) = 0;
    virtual bool IsItemChecked(int controlId) = 0;
    virtual void SetItemChecked(int controlId, bool checked) = 0;

    // "\r\n" in a Win32 edit control, "\n" in a Qt text widget.
    virtual const char* LineEnd() const = 0;

    // Steps of the dialog's initialisation that only the window system can do.
    virtual void SetDialogIcon() = 0;
    virtual void PreparePathBoxes() = 0;
    virtual void SetResultFont() = 0;
    virtual void UpdateResultScrollBars() = 0;
    // Shows the wait cursor over the application until called with false.
    virtual void ShowWaitCursor(bool on) = 0;
    // A modal message box over the dialog, titled with the dialog's caption, with text and an
    // OK button; returns when it is dismissed.
    virtual void ShowMessage(const char* text) = 0;

    // Answers a file dialog in place of the window system's: true with the chosen path for OK.
    using FileDialogAnswerer = std::function<bool(const FileDialogRequest&, std::string& path)>;

    // With no answerer (the default) the window system's file dialog runs.
    void SetFileDialogAnswerer(FileDialogAnswerer answerer) { answerer_ = std::move(answerer); }

    // Runs a modal file dialog; true with the chosen full path on OK, false on Cancel.
    virtual bool RunFileDialog(const FileDialogRequest& request, std::string& path) {
        return answerer_ ? answerer_(request, path) : RunSystemFileDialog(request, path);
    }

    // Minimised-icon painting, where the window system has that state. PaintMinimizedIcon
    // returns false when the dialog is not minimised, leaving painting to the default handling.
    virtual bool PaintMinimizedIcon() { return false; }
    virtual intptr_t DragIcon() { return 0; }

  protected:
    // The window system's own file dialog; a host without one answers Cancel.
    virtual bool RunSystemFileDialog(const FileDialogRequest&, std::string&) { return false; }

  private:
    FileDialogAnswerer answerer_;
};

}  // namespace tandrel
