#include "tests/win32/win32_dialog_under_test.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <cstring>
#include <map>

#include "tests/cli/windows_launcher.h"
#include "tests/support/temp_dir.h"
#include "tests/win32/ansi_files.h"

namespace tandrel::test {
namespace {

constexpr char kMainCaption[] = "Tandrel 3.0";
constexpr char kDialogClass[] = "#32770";
// The common file dialog's file-name box (cmb13, an edit inside a combo box) and its file-type
// list (cmb1).
constexpr int kFileNameBox = 0x47C;
constexpr int kFileTypeList = 0x470;
constexpr UINT kPollStep = 20;

std::string WindowText(HWND window) {
    const int length = static_cast<int>(::SendMessageA(window, WM_GETTEXTLENGTH, 0, 0));
    std::string text(static_cast<size_t>(length) + 1, '\0');
    const int copied = static_cast<int>(
        ::SendMessageA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data())));
    text.resize(static_cast<size_t>(copied));
    return text;
}

bool IsDialogWindow(HWND window) {
    char name[16] = {};
    ::GetClassNameA(window, name, sizeof name);
    return std::strcmp(name, kDialogClass) == 0;
}

template <typename Visit>
void ForEachThreadWindow(Visit visit) {
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND window, LPARAM context) -> BOOL {
            (*reinterpret_cast<Visit*>(context))(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&visit));
}

// Ends every visible dialog of this thread, the main one only when asked to.
void EndThreadDialogs(bool endMainToo) {
    ForEachThreadWindow([endMainToo](HWND window) {
        if (IsDialogWindow(window) && ::IsWindowVisible(window) &&
            (endMainToo || WindowText(window) != kMainCaption)) {
            ::EndDialog(window, IDCANCEL);
        }
    });
}

HWND FindChild(HWND parent, const char* className, int controlId) {
    struct Search {
        const char* className;
        int controlId;
        HWND found;
    } search{className, controlId, nullptr};
    ::EnumChildWindows(
        parent,
        [](HWND window, LPARAM context) -> BOOL {
            auto& s = *reinterpret_cast<Search*>(context);
            char name[32] = {};
            ::GetClassNameA(window, name, sizeof name);
            if (::GetDlgCtrlID(window) == s.controlId && std::strcmp(name, s.className) == 0) {
                s.found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace

struct Poll::State {
    std::function<bool()> step;
    std::string what;
    ULONGLONG deadline = 0;
    bool endMainToo = false;
    bool done = false;
    bool busy = false;
    UINT_PTR timer = 0;
};

namespace {

// The running polls by timer id: thread timers carry no context of their own.
std::map<UINT_PTR, std::shared_ptr<Poll::State>>& Polls() {
    static std::map<UINT_PTR, std::shared_ptr<Poll::State>> polls;
    return polls;
}

void StopPoll(Poll::State& state) {
    if (state.timer != 0) {
        ::KillTimer(nullptr, state.timer);
        Polls().erase(state.timer);
        state.timer = 0;
    }
}

void CALLBACK PollTick(HWND, UINT, UINT_PTR timer, DWORD) {
    const auto found = Polls().find(timer);
    if (found == Polls().end()) {
        ::KillTimer(nullptr, timer);
        return;
    }
    const std::shared_ptr<Poll::State> state = found->second;
    if (state->busy) {
        return;
    }
    state->busy = true;
    const bool done = state->step();
    state->busy = false;
    if (done) {
        state->done = true;
        StopPoll(*state);
    } else if (::GetTickCount64() > state->deadline) {
        ADD_FAILURE() << "gave up waiting: " << state->what;
        StopPoll(*state);
        EndThreadDialogs(state->endMainToo);
    }
}

}  // namespace

Poll::Poll(std::function<bool()> step, const char* what, DWORD timeoutMs, bool endMainToo)
    : state_(std::make_shared<State>()) {
    state_->step = std::move(step);
    state_->what = what;
    state_->deadline = ::GetTickCount64() + timeoutMs;
    state_->endMainToo = endMainToo;
    state_->timer = ::SetTimer(nullptr, 0, kPollStep, &PollTick);
    EXPECT_NE(state_->timer, 0u);
    Polls()[state_->timer] = state_;
}

Poll::~Poll() {
    StopPoll(*state_);
}

bool Poll::Done() const {
    return state_->done;
}

Win32DialogUnderTest::Win32DialogUnderTest() {
    if (window_.Create() == nullptr) {
        ADD_FAILURE() << "the dialog window could not be created: " << ::GetLastError();
    }
    PumpMessages();
}

Win32DialogUnderTest::~Win32DialogUnderTest() {
    if (Window() != nullptr) {
        ::DestroyWindow(Window());
    }
    PumpMessages();
}

void Win32DialogUnderTest::SetText(int controlId, const std::string& text) {
    ::SendMessageA(Item(controlId), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

std::string Win32DialogUnderTest::Text(int controlId) const {
    return WindowText(Item(controlId));
}

void Win32DialogUnderTest::Click(int controlId) {
    ::SendMessageA(Item(controlId), BM_CLICK, 0, 0);
    PumpMessages();
}

bool Win32DialogUnderTest::IsChecked(int controlId) const {
    return ::SendMessageA(Item(controlId), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Win32DialogUnderTest::SetChecked(int controlId, bool checked) {
    ::SendMessageA(Item(controlId), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void Win32DialogUnderTest::Compare(const std::string& first, const std::string& second) {
    SetText(IDC_FIRST_PATH, first);
    SetText(IDC_SECOND_PATH, second);
    Click(IDC_COMPARE);
}

bool Win32DialogUnderTest::HasBar(int bar) const {
    const LONG_PTR style = ::GetWindowLongPtrA(Item(IDC_RESULT), GWL_STYLE);
    return (style & (bar == SB_HORZ ? WS_HSCROLL : WS_VSCROLL)) != 0;
}

SCROLLINFO Win32DialogUnderTest::Scroll(int bar) const {
    SCROLLINFO info = {};
    info.cbSize = sizeof info;
    info.fMask = SIF_ALL;
    ::GetScrollInfo(Item(IDC_RESULT), bar, &info);
    return info;
}

void PumpMessages() {
    MSG message;
    while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        const HWND top = message.hwnd != nullptr ? ::GetAncestor(message.hwnd, GA_ROOT) : nullptr;
        if (top != nullptr && IsDialogWindow(top) && ::IsDialogMessageA(top, &message)) {
            continue;
        }
        ::TranslateMessage(&message);
        ::DispatchMessageA(&message);
    }
}

HWND FindThreadDialog(const std::string& caption) {
    HWND found = nullptr;
    ForEachThreadWindow([&](HWND window) {
        if (found == nullptr && IsDialogWindow(window) && ::IsWindowVisible(window) &&
            WindowText(window) == caption) {
            found = window;
        }
    });
    return found;
}

std::unique_ptr<Poll> AnswerFileDialog(const std::string& title, const std::string& filterName,
                                       const std::string& name, bool pressOk, int answer,
                                       bool* questionSeen) {
    auto pressed = std::make_shared<bool>(false);
    auto step = [=]() {
        if (!*pressed) {
            const HWND dialog = FindThreadDialog(title);
            const HWND nameBox =
                dialog != nullptr ? FindChild(dialog, "Edit", kFileNameBox) : nullptr;
            if (nameBox == nullptr) {
                return false;
            }
            EXPECT_EQ(WindowText(::GetDlgItem(dialog, kFileTypeList)), filterName) << title;
            ::SendMessageA(nameBox, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(name.c_str()));
            const int button = pressOk ? IDOK : IDCANCEL;
            ::PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                           reinterpret_cast<LPARAM>(::GetDlgItem(dialog, button)));
            *pressed = true;
            return answer == 0;
        }
        // The question box has Yes and No buttons, which the file dialog itself lacks.
        HWND question = nullptr;
        ForEachThreadWindow([&](HWND window) {
            if (IsDialogWindow(window) && ::IsWindowVisible(window) &&
                ::GetDlgItem(window, IDYES) != nullptr) {
                question = window;
            }
        });
        if (question == nullptr) {
            return false;
        }
        if (questionSeen != nullptr) {
            *questionSeen = true;
        }
        ::PostMessageA(question, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED),
                       reinterpret_cast<LPARAM>(::GetDlgItem(question, answer)));
        return true;
    };
    return std::make_unique<Poll>(step, "a file dialog to answer");
}

std::string FilterBytes(const char* filter) {
    const char* end = filter;
    while (*end != '\0') {
        end += std::strlen(end) + 1;
    }
    return std::string(filter, end + 1);
}

Win32DialogHost::FileDialogAnswerer RecordingAnswerer(std::vector<SeenRequest>& seen,
                                                      const std::string& answer) {
    return [&seen, &answer](const FileDialogRequest& request, std::string& path) {
        seen.push_back({request.kind, request.title, FilterBytes(request.filter)});
        if (answer.empty()) {
            return false;
        }
        path = answer;
        return true;
    };
}

std::string HeadlessReport(const std::string& first, const std::string& second) {
    const TempDir dir;
    const std::string report = dir.File("report.txt");
    const ProcessOutcome run = RunProcess(
        WindowsPath(TANDREL_EXE),
        "tandrel.exe \"" + first + "\" \"" + second + "\" \"" + report + "\"", dir.Path().string());
    std::string bytes;
    EXPECT_TRUE(run.ended && run.exitCode == 0);
    EXPECT_TRUE(ReadAnsiFile(report, bytes));
    return bytes;
}

HGLOBAL MakeDrop(const std::vector<std::string>& paths, POINT at) {
    size_t size = sizeof(DROPFILES) + 1;
    for (const std::string& path : paths) {
        size += path.size() + 1;
    }
    const HGLOBAL drop = ::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    auto* header = static_cast<DROPFILES*>(::GlobalLock(drop));
    header->pFiles = sizeof(DROPFILES);
    header->pt = at;
    header->fNC = FALSE;
    header->fWide = FALSE;
    char* names = reinterpret_cast<char*>(header + 1);
    for (const std::string& path : paths) {
        std::memcpy(names, path.c_str(), path.size() + 1);
        names += path.size() + 1;
    }
    ::GlobalUnlock(drop);
    return drop;
}

bool IsReleased(HGLOBAL drop) {
    return ::GlobalFlags(drop) == GMEM_INVALID_HANDLE;
}

}  // namespace tandrel::test
