#include "platform/replacement_file.h"
#include "platform/linux/folder_sync.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tandrel {
namespace {

bool Fail(Trouble& trouble, const std::string& file, std::string reason) {
    trouble.Set(file, std::move(reason));
    return false;
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

ReplacementFile::~ReplacementFile() {
    if (target_ != NewFile::kNoHandle) {
        ::close(static_cast<int>(target_));
    }
}

bool ReplacementFile::OpenTarget(const char* target, const char* output, Trouble& trouble) {
    targetPath_ = target;
    outputPath_ = output ? output : "";
    replacing_ = !output;
    standardOutput_ = output && outputPath_ == "-";
    struct stat info;
    if (replacing_) {
        if (!replacement_.OpenTarget(targetPath_, true, trouble)) {
            return false;
        }
        size_ = replacement_.Identity().size;
        return true;
    }
    // The type is checked before the open, which could act on a device or wait on a FIFO, and
    // again on what was opened.
    if (::stat(target, &info) != 0) {
        return Fail(trouble, targetPath_, SystemReason(errno));
    }
    if (!S_ISREG(info.st_mode)) {
        return Fail(trouble, targetPath_, "not a regular file");
    }
    const int fd = ::open(target, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return Fail(trouble, targetPath_, SystemReason(errno));
    }
    target_ = fd;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        return Fail(trouble, targetPath_, "not a regular file");
    }
    size_ = static_cast<uint64_t>(info.st_size);
    mode_ = info.st_mode;
    // Standard output that is TARGET (">> TARGET") would be written while it is read.
    struct stat written;
    if (standardOutput_ && ::fstat(STDOUT_FILENO, &written) == 0 && SameFile(info, written)) {
        return Fail(trouble, targetPath_, "is standard output too: its copy cannot go there");
    }
    return true;
}

bool ReplacementFile::ReadTarget(uint64_t offset, void* buffer, size_t count, Trouble& trouble) {
    auto* out = static_cast<char*>(buffer);
    for (size_t done = 0; done < count;) {
        const ssize_t got = ::pread(static_cast<int>(Target()), out + done, count - done,
                                    static_cast<off_t>(offset + done));
        if (got < 0 && errno != EINTR) {
            return Fail(trouble, targetPath_, SystemReason(errno));
        }
        if (got == 0) {
            return Fail(trouble, targetPath_, "changed while it was read: it ends early");
        }
        done += got > 0 ? static_cast<size_t>(got) : 0;
    }
    return true;
}

bool ReplacementFile::Create(Trouble& trouble) {
    if (replacing_) {
        return replacement_.Create(trouble);
    }
    return standardOutput_ ||
           output_.Create(outputPath_, mode_ & (S_IRWXU | S_IRWXG | S_IRWXO), trouble);
}

bool ReplacementFile::Write(const void* data, size_t count, Trouble& trouble) {
    if (!standardOutput_) {
        return (replacing_ ? replacement_.File() : output_).Write(data, count, trouble);
    }
    const auto* in = static_cast<const char*>(data);
    for (size_t done = 0; done < count;) {
        const ssize_t written = ::write(STDOUT_FILENO, in + done, count - done);
        if (written < 0 && errno != EINTR) {
            return Fail(trouble, "standard output", SystemReason(errno));
        }
        done += written > 0 ? static_cast<size_t>(written) : 0;
    }
    return true;
}

bool ReplacementFile::Commit(Trouble& trouble) {
    if (replacing_) {
        return replacement_.Commit(trouble);
    }
    if (standardOutput_) {
        return true;
    }
    if (!output_.FlushAndClose(trouble)) {
        return false;
    }
    output_.Keep();
    SyncFolder(FolderShownOf(outputPath_));
    return true;
}

}  // namespace tandrel
