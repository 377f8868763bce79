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

namespace {

// One file, whichever path led to it. Every node of a device stands for the device itself.
bool SameFile(const struct stat& a, const struct stat& b) {
    const bool blocks = S_ISBLK(a.st_mode) && S_ISBLK(b.st_mode);
    const bool characters = S_ISCHR(a.st_mode) && S_ISCHR(b.st_mode);
    if (blocks || characters) {
        return a.st_rdev == b.st_rdev;
    }
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

bool PathExists(const char* path) {
    struct stat info;
    return ::lstat(path, &info) == 0;
}

bool IsSameFile(const char* first, const char* second) {
    struct stat a;
    struct stat b;
    return ::stat(first, &a) == 0 && ::stat(second, &b) == 0 && SameFile(a, b);
}

bool IsStandardOutput(const char* path) {
    struct stat a;
    struct stat b;
    return ::stat(path, &a) == 0 && ::fstat(STDOUT_FILENO, &b) == 0 && SameFile(a, b);
}

}  // namespace tandrel
