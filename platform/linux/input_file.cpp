#include "platform/input_file.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace tandrel {
namespace {

// The size of a regular file or of a block device, whose size comes from the device.
bool SizeOf(int fd, const struct stat& info, uint64_t& size) {
    if (S_ISBLK(info.st_mode)) {
        return ::ioctl(fd, BLKGETSIZE64, &size) == 0;
    }
    size = static_cast<uint64_t>(info.st_size);
    return S_ISREG(info.st_mode);
}

// Only a regular file or a block device has a size that its reads can keep to. A FIFO, a
// character device or a socket has none (fstat says 0), so comparing one would look like
// comparing an empty file. A regular file of size 0 that yields a byte is a pseudo-file (as in
// /proc) whose size says nothing of its content.
bool QuerySize(int fd, uint64_t& size) {
    struct stat info;
    if (::fstat(fd, &info) != 0 || !SizeOf(fd, info, size)) {
        return false;
    }
    char byte;
    return size != 0 || S_ISBLK(info.st_mode) || ::pread(fd, &byte, 1, 0) == 0;
}

constexpr char kNotAFile[] = "not a regular file or block device with a size its content keeps to";

}  // namespace

bool InputFile::Open(const char* path, Trouble& trouble) {
    Close();
    // Anything but a regular file or a block device is refused before it is opened, since
    // opening a device can act on it (a tape rewinds, a watchdog starts). The type is checked
    // again once open, for a file swapped meanwhile; O_NONBLOCK keeps the open of a FIFO
    // swapped in from waiting for a writer, and reads are blocking again.
    struct stat info;
    if (::stat(path, &info) != 0) {
        trouble.Set(path, SystemReason(errno));
        return false;
    }
    if (S_ISDIR(info.st_mode)) {
        trouble.Set(path, SystemReason(EISDIR));
        return false;
    }
    if (!S_ISREG(info.st_mode) && !S_ISBLK(info.st_mode)) {
        trouble.Set(path, kNotAFile);
        return false;
    }
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        trouble.Set(path, SystemReason(errno));
        return false;
    }
    if (!QuerySize(fd, size_)) {
        trouble.Set(path, kNotAFile);
        ::close(fd);
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    handle_ = fd;
    return true;
}

void InputFile::Close() {
    if (handle_ != kNoHandle) {
        ::close(static_cast<int>(handle_));
        handle_ = kNoHandle;
    }
    size_ = 0;
}

bool InputFile::ReadAt(uint64_t offset, void* buffer, size_t count, size_t& bytesRead) const {
    bytesRead = 0;
    if (handle_ == kNoHandle) {
        return false;
    }
    auto* out = static_cast<char*>(buffer);
    // pread() may return less than asked before the end (signals); only 0 means the end.
    while (bytesRead < count) {
        const ssize_t got = ::pread(static_cast<int>(handle_), out + bytesRead, count - bytesRead,
                                    static_cast<off_t>(offset + bytesRead));
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

bool InputFile::CurrentSize(uint64_t& size) const {
    struct stat info;
    const auto fd = static_cast<int>(handle_);
    return handle_ != kNoHandle && ::fstat(fd, &info) == 0 && SizeOf(fd, info, size);
}

}  // namespace tandrel
