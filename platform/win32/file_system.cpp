#include "platform/file_system.h"

#include <windows.h>

#include "platform/win32/dword_count.h"

namespace tandrel {

bool WriteNewFile(const char* path, const char* data, size_t size) {
    // CREATE_NEW fails on any existing name, so nothing is overwritten.
    const HANDLE file =
        ::CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    bool ok = true;
    for (size_t done = 0; ok && done < size;) {
        DWORD written = 0;
        ok = ::WriteFile(file, data + done, DwordCount(size - done), &written, nullptr) != 0 &&
             written > 0;
        done += written;
    }
    ok = ::CloseHandle(file) != 0 && ok;
    if (!ok) {
        ::DeleteFileA(path);
    }
    return ok;
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
