#include "tests/win32/ansi_files.h"

#include <windows.h>

#include <algorithm>

namespace tandrel::test {

bool WriteAnsiFile(const std::string& path, const std::string& bytes) {
    const HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    const bool ok = file != INVALID_HANDLE_VALUE &&
                    ::WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr) &&
                    written == bytes.size();
    ::CloseHandle(file);
    return ok;
}

bool ReadAnsiFile(const std::string& path, std::string& bytes) {
    const HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    char chunk[4096];
    DWORD got = 0;
    for (bytes.clear(); ::ReadFile(file, chunk, sizeof(chunk), &got, nullptr) && got > 0;) {
        bytes.append(chunk, got);
    }
    ::CloseHandle(file);
    return file != INVALID_HANDLE_VALUE;
}

std::vector<std::string> ListFolder(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    const HANDLE search = ::FindFirstFileA((folder + "\\*").c_str(), &found);
    for (bool more = search != INVALID_HANDLE_VALUE; more; more = ::FindNextFileA(search, &found)) {
        if (std::string(found.cFileName) != "." && std::string(found.cFileName) != "..") {
            names.push_back(found.cFileName);
        }
    }
    ::FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace tandrel::test
