#include "platform/file_system.h"

#include <windows.h>

#include "platform/win32/dword_count.h"

namespace tandrel {
namespace {

// The system's text for an error code, without its closing period and line end.
std::string ErrorText(DWORD error) {
    char* text = nullptr;
    const DWORD length = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string reason = length ? std::string(text, length) : "error " + std::to_string(error);
    ::LocalFree(text);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' ||
                               reason.back() == ' ' || reason.back() == '.')) {
        reason.pop_back();
    }
    return reason;
}

}  // namespace

bool WriteNewFile(const char* path, const char* data, size_t size) {
    Trouble ignored;
    return WriteNewFile(path, data, size, ignored);
}

bool WriteNewFile(const char* path, const char* data, size_t size, Trouble& trouble) {
    // CREATE_NEW fails on any existing name, so nothing is overwritten.
    const HANDLE file =
        ::CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        trouble.Set(path, ErrorText(::GetLastError()));
        return false;
    }
    DWORD error = ERROR_SUCCESS;
    for (size_t done = 0; error == ERROR_SUCCESS && done < size;) {
        DWORD written = 0;
        if (!::WriteFile(file, data + done, DwordCount(size - done), &written, nullptr)) {
            error = ::GetLastError();
        } else if (written == 0) {
            error = ERROR_DISK_FULL;
        }
        done += written;
    }
    if (!::CloseHandle(file) && error == ERROR_SUCCESS) {
        error = ::GetLastError();
    }
    if (error != ERROR_SUCCESS) {
        ::DeleteFileA(path);
        trouble.Set(path, ErrorText(error));
    }
    return error == ERROR_SUCCESS;
}

bool PathExists(const char* path) {
    return ::GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

std::string PathAsUtf8(const char* path) {
    const int wide = ::MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
    std::wstring text(static_cast<size_t>(wide > 0 ? wide : 1), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, path, -1, text.data(), wide);
    const int bytes =
        ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(bytes > 0 ? bytes : 1), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, utf8.data(), bytes, nullptr, nullptr);
    utf8.resize(std::char_traits<char>::length(utf8.c_str()));
    return utf8;
}

}  // namespace tandrel
