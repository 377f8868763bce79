#include "platform/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace tandrel {

bool WriteNewFile(const char* path, const char* data, size_t size) {
    // O_EXCL makes creation fail on any existing name, links included, so nothing is overwritten.
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        return false;
    }
    bool ok = true;
    for (size_t done = 0; ok && done < size;) {
        const ssize_t written = ::write(fd, data + done, size - done);
        ok = written > 0 || (written < 0 && errno == EINTR);
        done += written > 0 ? static_cast<size_t>(written) : 0;
    }
    ok = ::close(fd) == 0 && ok;
    if (!ok) {
        ::unlink(path);
    }
    return ok;
}

bool PathExists(const char* path) {
    struct stat info;
    return ::lstat(path, &info) == 0;
}

std::string PathAsUtf8(const char* path) {
    return path;
}

}  // namespace tandrel
