#include "platform/input_file.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>

#include <cerrno>
#include <charconv>
#include <climits>

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
bool QuerySize(int fd, struct stat& info, uint64_t& size) {
    if (::fstat(fd, &info) != 0 || !SizeOf(fd, info, size)) {
        return false;
    }
    char byte;
    return size != 0 || S_ISBLK(info.st_mode) || ::pread(fd, &byte, 1, 0) == 0;
}

constexpr char kNotAFile[] = "not a regular file or block device with a size its content keeps to";

// Everything that sets a file's status-change time: a write, a cut or a growth, times,
// attributes, links and renames.
constexpr uint32_t kChangeEvents = IN_MODIFY | IN_ATTRIB | IN_MOVE_SELF;

// Watches the open file fd through watch, a non-blocking inotify descriptor made here when it is
// -1, so that it gets an event for each change to the file; returns the watch, or -1 when none
// can be had (the per-user limits on instances and watches). What an earlier file's watch left
// in the queue is read away first, so every event from here on is this file's. /proc/self/fd/N
// names the opened file itself, whatever its path names by now. Without /proc the path is
// watched, and moved tells that it no longer named the opened file once the watch was set.
int WatchOpenFile(int& watch, int fd, const char* path, bool& moved) {
    if (watch < 0) {
        watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (watch < 0) {
            return -1;
        }
    }
    alignas(inotify_event) char events[4096];
    while (::read(watch, events, sizeof(events)) > 0) {
    }
    char self[32] = "/proc/self/fd/";
    constexpr size_t kPrefix = sizeof("/proc/self/fd/") - 1;
    *std::to_chars(self + kPrefix, self + sizeof(self) - 1, fd).ptr = '\0';
    if (const int watched = ::inotify_add_watch(watch, self, kChangeEvents); watched >= 0) {
        return watched;
    }
    const int watched = ::inotify_add_watch(watch, path, kChangeEvents);
    if (watched >= 0) {
        struct stat opened;
        struct stat named;
        moved = ::fstat(fd, &opened) != 0 || ::stat(path, &named) != 0 ||
                opened.st_dev != named.st_dev || opened.st_ino != named.st_ino;
    }
    return watched;
}

// Whether a change could leave the file's size and times as they are. A change sets its status-
// change time to the time of day in clock ticks, so only a file changed in the last second can
// change again unseen, and only where this kernel keeps the times: the rest, and block devices
// (whose node a write leaves alone), are watched. A watch costs each run its teardown.
bool NeedsWatch(int fd, const struct stat& info) {
    // ext2 to ext4, xfs, btrfs, tmpfs, f2fs, overlay, zfs
    constexpr long kKeptHere[] = {0xEF53,     0x58465342, 0x9123683E, 0x01021994,
                                  0xF2F52010, 0x794C7630, 0x2FC12FC1};
    struct statfs system;
    struct timespec now;
    if (S_ISBLK(info.st_mode) || ::fstatfs(fd, &system) != 0 ||
        std::find(std::begin(kKeptHere), std::end(kKeptHere), system.f_type) ==
            std::end(kKeptHere) ||
        ::clock_gettime(CLOCK_REALTIME_COARSE, &now) != 0) {
        return true;
    }
    return info.st_ctim.tv_sec >= now.tv_sec - 1;
}

std::array<int64_t, 4> TimesOf(const struct stat& info) {
    return {info.st_mtim.tv_sec, info.st_mtim.tv_nsec, info.st_ctim.tv_sec, info.st_ctim.tv_nsec};
}

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
    handle_ = fd;
    if (!QuerySize(fd, info, size_)) {
        trouble.Set(path, kNotAFile);
        Close();
        return false;
    }
    // A file whose times cannot tell every change is watched, then sized again, so that no
    // change falls unseen between the two.
    if (NeedsWatch(fd, info)) {
        watched_ = WatchOpenFile(watch_, fd, path, changed_);
        if (::fstat(fd, &info) != 0 || !SizeOf(fd, info, size_)) {
            trouble.Set(path, kNotAFile);
            Close();
            return false;
        }
    }
    times_ = TimesOf(info);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return true;
}

InputFile::~InputFile() {
    Close();
    if (watch_ >= 0) {
        ::close(watch_);
    }
}

void InputFile::Close() {
    if (handle_ != kNoHandle) {
        ::close(static_cast<int>(handle_));
        handle_ = kNoHandle;
    }
    if (watched_ >= 0) {
        ::inotify_rm_watch(watch_, watched_);
        watched_ = -1;
    }
    size_ = 0;
    times_ = {};
    changed_ = false;
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

bool InputFile::UnchangedSinceOpen() const {
    // Any event is a change, whatever it says; once one is seen, the queue is read no more.
    alignas(inotify_event) char events[sizeof(inotify_event) + NAME_MAX + 1];
    changed_ = changed_ || handle_ == kNoHandle ||
               (watched_ >= 0 && (::read(watch_, events, sizeof(events)) >= 0 || errno != EAGAIN));
    struct stat info;
    uint64_t size = 0;
    changed_ = changed_ || ::fstat(static_cast<int>(handle_), &info) != 0 ||
               !SizeOf(static_cast<int>(handle_), info, size) || size != size_ ||
               TimesOf(info) != times_;
    return !changed_;
}

}  // namespace tandrel
