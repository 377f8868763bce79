#include "platform/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace tandrel {

bool WriteNewFile(const char* path, const char* data, size_t size) {
    Trouble ignored;
    return WriteNewFile(path, data, size, ignored);
}

bool WriteNewFile(const char* path, const char* data, size_t size, Trouble& trouble) {
    // O_EXCL makes creation fail on any existing name, links included, so nothing is overwritten.
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        trouble.Set(path, SystemReason(errno));
        return false;
    }
    int error = 0;
    for (size_t done = 0; error == 0 && done < size;) {
        const ssize_t written = ::write(fd, data + done, size - done);
        if (written < 0 && errno != EINTR) {
            error = errno;
        } else if (written == 0) {
            error = ENOSPC;
        }
        done += written > 0 ? static_cast<size_t>(written) : 0;
    }
    if (::close(fd) != 0 && error == 0) {
        error = errno;
    }
    if (error != 0) {
        ::unlink(path);
        trouble.Set(path, SystemReason(error));
    }
    return error == 0;
}

bool PathExists(const char* path) {
    struct stat info;
    return ::lstat(path, &info) == 0;
}

std::string PathAsUtf8(const char* path) {
    return path;
}

}  // namespace tandrel
