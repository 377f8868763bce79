#include "platform/file_system.h"

#include <windows.h>

#include "platform/new_file.h"

namespace tandrel {

bool WriteNewFile(const char* path, const char* data, size_t size, Trouble& trouble) {
    NewFile file;
    if (!file.Create(path, 0, trouble) || !file.Write(data, size, trouble) ||
        !file.FlushAndClose(trouble)) {
        return false;
    }
    file.Keep();
    return true;
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

std::string_view FileNameOf(std::string_view path) {
    const size_t separator = path.find_last_of("\\/:");
    return separator == std::string_view::npos ? path : path.substr(separator + 1);
}

std::string FolderOfPath(const std::string& path) {
    const size_t slash = path.find_last_of("\\/:");
    if (slash == std::string::npos) {
        return ".";
    }
    // "C:\\" and "C:" keep what makes them a folder.
    return path[slash] == ':' || slash == 0 || (slash == 2 && path[1] == ':')
               ? path.substr(0, slash + 1)
               : path.substr(0, slash);
}

}  // namespace tandrel
