#include "platform/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace tandrel {

bool InputFile::Open(const char* path) {
    Close();
    // O_NONBLOCK keeps the open of a FIFO from waiting for a writer; reads are blocking again.
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    struct stat info;
    if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        ::close(fd);
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    handle_ = fd;
    return true;
}

void InputFile::Close() {
    if (handle_ != kNoHandle) {
        ::close(static_cast<int>(handle_));
        handle_ = kNoHandle;
    }
}

uint64_t InputFile::Size() const {
    struct stat info;
    if (handle_ == kNoHandle || ::fstat(static_cast<int>(handle_), &info) != 0) {
        return 0;
    }
    return static_cast<uint64_t>(info.st_size);
}

bool InputFile::Read(void* buffer, size_t count, size_t& bytesRead) {
    bytesRead = 0;
    if (handle_ == kNoHandle) {
        return false;
    }
    auto* out = static_cast<char*>(buffer);
    // read() may return less than asked before the end (signals, pipes); only 0 means the end.
    while (bytesRead < count) {
        const ssize_t got = ::read(static_cast<int>(handle_), out + bytesRead, count - bytesRead);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            bytesRead = 0;
            return false;
        }
        if (got == 0) {
            break;
        }
        bytesRead += static_cast<size_t>(got);
    }
    return true;
}

}  // namespace tandrel
