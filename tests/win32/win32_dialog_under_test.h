// The real Win32 main dialog for tests: created modeless in the test's thread from the program's
// own IDD_MAIN resource (linked into the test), driven and read through window messages only.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/support/temp_dir.h"
#include "ui/diff_dialog.h"
#include "ui/win32/win32_main_dialog.h"

namespace tandrel::test {

class Win32DialogUnderTest {
  public:
    // Creates the window; a test fails at once when it cannot be made (no display).
    Win32DialogUnderTest();
    ~Win32DialogUnderTest();
    Win32DialogUnderTest(const Win32DialogUnderTest&) = delete;
    Win32DialogUnderTest& operator=(const Win32DialogUnderTest&) = delete;

    HWND Window() const { return window_.Window(); }
    HWND Item(int controlId) const { return ::GetDlgItem(Window(), controlId); }
    Win32MainDialog& Main() { return window_; }
    Win32DialogHost& Host() { return window_.Host(); }
    DiffDialog& Dialog() { return dialog_; }

    // WM_SETTEXT and WM_GETTEXT, as typing and a screen reader would see the control.
    void SetText(int controlId, const std::string& text);
    std::string Text(int controlId) const;
    // BM_CLICK, which presses and releases the button as the mouse does; its handler has run
    // when this returns.
    void Click(int controlId);
    bool IsChecked(int controlId) const;
    void SetChecked(int controlId, bool checked);
    // Puts both paths into their boxes and clicks Compare.
    void Compare(const std::string& first, const std::string& second);

    // Whether the result box shows the bar (SB_HORZ or SB_VERT), and the bar's scroll state.
    bool HasBar(int bar) const;
    SCROLLINFO Scroll(int bar) const;

  private:
    DiffDialog dialog_;
    Win32MainDialog window_{dialog_};
};

// Dispatches every message waiting for this thread, through the dialog manager for dialogs.
void PumpMessages();

// Calls step from a thread timer in whatever message loop this thread spins (a modal dialog's
// too) until step returns true. A step should post rather than send anything that opens a modal
// loop of its own. Once timeoutMs has passed, the polling stops with a test failure and every
// dialog of this thread other than the main one ("Tandrel 3.0") is ended, so that no modal
// loop can wait for ever; the main one is ended too when endMainToo is set. Destroying the
// object stops the polling; done() says whether step ever returned true.
class Poll {
  public:
    Poll(std::function<bool()> step, const char* what, DWORD timeoutMs = 10000,
         bool endMainToo = false);
    ~Poll();
    Poll(const Poll&) = delete;
    Poll& operator=(const Poll&) = delete;
    bool Done() const;

    struct State;

  private:
    std::shared_ptr<State> state_;
};

// The visible top-level dialog-class window of this thread with that caption, else null.
HWND FindThreadDialog(const std::string& caption);

// Runs a real common file dialog's part: waits until a dialog captioned title is shown, checks
// its file-type list shows filterName, puts name into its file-name box and presses OK (or
// Cancel). Then answers a question box that the dialog may show (an overwrite prompt) with
// answer, IDYES or IDNO, when answer is non-zero. The result's Done() says the dialog was seen.
std::unique_ptr<Poll> AnswerFileDialog(const std::string& title, const std::string& filterName,
                                       const std::string& name, bool pressOk, int answer = 0,
                                       bool* questionSeen = nullptr);

// A file-dialog request as an answerer saw it; the filter with its two terminators.
struct SeenRequest {
    FileDialogKind kind;
    std::string title;
    std::string filter;
};
std::string FilterBytes(const char* filter);

// Stands in for the file dialogs: records each request in seen and answers OK with answer, or
// Cancel while answer is empty. Both are read when a dialog is asked for.
Win32DialogHost::FileDialogAnswerer RecordingAnswerer(std::vector<SeenRequest>& seen,
                                                      const std::string& answer);

// The dialog of a test whose file dialogs RecordingAnswerer(seen_, answer_) stands in for, with
// a folder for the files the test makes.
class AnsweredDialogTest : public ::testing::Test {
  protected:
    AnsweredDialogTest() { t_.Host().SetFileDialogAnswerer(RecordingAnswerer(seen_, answer_)); }

    TempDir dir_;
    Win32DialogUnderTest t_;
    std::vector<SeenRequest> seen_;
    std::string answer_;
};

// The report the real program writes headless for two paths (separator on, short names off),
// as its report file stores it; empty when the run failed.
std::string HeadlessReport(const std::string& first, const std::string& second);

// A drop from the shell, as an HDROP: DROPFILES with ANSI paths, the list ended by an empty one.
HGLOBAL MakeDrop(const std::vector<std::string>& paths, POINT at = {0, 0});
// After a drop the receiver must have released the handle with DragFinish.
bool IsReleased(HGLOBAL drop);

}  // namespace tandrel::test
