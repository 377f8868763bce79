#include "tests/cli/windows_launcher.h"

#include <windows.h>

#include <algorithm>

namespace tandrel::test {
namespace {

struct WindowSearch {
    DWORD processId;
    bool found;
};

BOOL CALLBACK CloseIfOwned(HWND window, LPARAM context) {
    auto& search = *reinterpret_cast<WindowSearch*>(context);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner == search.processId && ::IsWindowVisible(window)) {
        ::PostMessageA(window, WM_CLOSE, 0, 0);
        search.found = true;
    }
    return TRUE;
}

class OwnedHandle {
  public:
    explicit OwnedHandle(HANDLE handle) : handle_(handle) {}
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    ~OwnedHandle() {
        if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE) {
            ::CloseHandle(handle_);
        }
    }
    HANDLE Get() const { return handle_; }

  private:
    HANDLE handle_;
};

}  // namespace

ProcessOutcome RunProcess(const std::string& program, const std::string& commandLine,
                          const std::string& workDir, uint32_t timeoutMs) {
    ProcessOutcome outcome;
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    // CreateProcessA may write into the command-line buffer, so it gets a copy of its own.
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    if (!::CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          workDir.c_str(), &startup, &info)) {
        return outcome;
    }
    outcome.started = true;
    const OwnedHandle process(info.hProcess);
    const OwnedHandle thread(info.hThread);

    // Short waits, so that a window the program shows is closed soon after it appears.
    constexpr DWORD kStep = 50;
    for (DWORD waited = 0; waited < timeoutMs; waited += kStep) {
        if (::WaitForSingleObject(process.Get(), kStep) == WAIT_OBJECT_0) {
            DWORD code = 0;
            ::GetExitCodeProcess(process.Get(), &code);
            outcome.ended = true;
            outcome.exitCode = code;
            return outcome;
        }
        WindowSearch search{info.dwProcessId, false};
        ::EnumWindows(CloseIfOwned, reinterpret_cast<LPARAM>(&search));
        outcome.showedWindow = outcome.showedWindow || search.found;
    }
    ::TerminateProcess(process.Get(), 255);
    ::WaitForSingleObject(process.Get(), INFINITE);
    return outcome;
}

std::string WindowsPath(std::string buildPath) {
    std::replace(buildPath.begin(), buildPath.end(), '/', '\\');
    if (!buildPath.empty() && buildPath[0] == '\\') {
        buildPath.insert(0, "Z:");
    }
    return buildPath;
}

bool WriteAnsiFile(const std::string& path, const std::string& bytes) {
    const OwnedHandle file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.Get() == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    return ::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                       nullptr) &&
           written == bytes.size();
}

bool ReadAnsiFile(const std::string& path, std::string& bytes) {
    bytes.clear();
    const OwnedHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.Get() == INVALID_HANDLE_VALUE) {
        return false;
    }
    char chunk[4096];
    DWORD got = 0;
    while (::ReadFile(file.Get(), chunk, sizeof(chunk), &got, nullptr) && got > 0) {
        bytes.append(chunk, got);
    }
    return true;
}

std::vector<std::string> ListFolder(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    const HANDLE search = ::FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        const std::string name = found.cFileName;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    } while (::FindNextFileA(search, &found));
    ::FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace tandrel::test
