#include "platform/file_system.h"

#include <sys/stat.h>

#include "platform/new_file.h"

namespace tandrel {

bool WriteNewFile(const char* path, const char* data, size_t size, Trouble& trouble) {
    NewFile file;
    if (!file.Create(path, 0666, trouble) || !file.Write(data, size, trouble) ||
        !file.FlushAndClose(trouble)) {
        return false;
    }
    file.Keep();
    return true;
}

bool PathExists(const char* path) {
    struct stat info;
    return ::lstat(path, &info) == 0;
}

std::string PathAsUtf8(const char* path) {
    return path;
}

std::string_view FileNameOf(std::string_view path) {
    const size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string FolderOfPath(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace tandrel
