#include "platform/replacement_file.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tandrel {
namespace {

constexpr int64_t kNanosecondsPerSecond = 1000000000;

FileIdentity IdentityOf(const struct stat& info) {
    return {static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino),
            static_cast<uint64_t>(info.st_size),
            info.st_mtim.tv_sec * kNanosecondsPerSecond + info.st_mtim.tv_nsec,
            info.st_ctim.tv_sec * kNanosecondsPerSecond + info.st_ctim.tv_nsec};
}

bool Fail(Trouble& trouble, const std::string& file, std::string reason) {
    trouble.Set(file, std::move(reason));
    return false;
}

// A failed write or flush of the new file: OUTPUT's own trouble, or TARGET's when it was to be
// replaced (the new file's name means nothing to the user).
bool FailWrite(Trouble& trouble, const std::string& file, bool replacing, int error) {
    return Fail(trouble, file,
                (replacing ? "cannot write its patched copy: " : "") + SystemReason(error));
}

// The names of a file's extended attributes, each ending in NUL; none where the file system
// has none.
bool ListAttributes(int fd, std::string& names) {
    for (;;) {
        const ssize_t size = ::flistxattr(fd, nullptr, 0);
        if (size < 0) {
            names.clear();
            return errno == ENOTSUP;
        }
        names.resize(static_cast<size_t>(size));
        const ssize_t got = ::flistxattr(fd, names.data(), names.size());
        if (got >= 0) {
            names.resize(static_cast<size_t>(got));
            return true;
        }
        if (errno != ERANGE) {  // ERANGE: the list grew between the two calls
            return false;
        }
    }
}

bool ReadAttribute(int fd, const char* name, std::string& value) {
    for (;;) {
        const ssize_t size = ::fgetxattr(fd, name, nullptr, 0);
        if (size < 0) {
            return false;
        }
        value.resize(static_cast<size_t>(size));
        const ssize_t got = ::fgetxattr(fd, name, value.data(), value.size());
        if (got >= 0) {
            value.resize(static_cast<size_t>(got));
            return true;
        }
        if (errno != ERANGE) {
            return false;
        }
    }
}

bool HasName(const std::string& names, const char* name) {
    for (size_t at = 0; at < names.size(); at += std::strlen(names.c_str() + at) + 1) {
        if (std::strcmp(names.c_str() + at, name) == 0) {
            return true;
        }
    }
    return false;
}

// Gives the new file exactly TARGET's extended attributes (POSIX ACLs and capabilities among
// them): an ACL that the new file inherited from its folder would change who may use it.
bool CopyAttributes(int from, int to, std::string& failed) {
    std::string names;
    std::string present;
    std::string value;
    std::string had;
    if (!ListAttributes(from, names) || !ListAttributes(to, present)) {
        return false;
    }
    for (size_t at = 0; at < present.size(); at += std::strlen(present.c_str() + at) + 1) {
        const char* name = present.c_str() + at;
        if (!HasName(names, name) && ::fremovexattr(to, name) != 0) {
            failed = name;
            return false;
        }
    }
    for (size_t at = 0; at < names.size(); at += std::strlen(names.c_str() + at) + 1) {
        const char* name = names.c_str() + at;
        // A value the new file has already (a security label) is not set again: that could need
        // a permission that keeping it does not.
        const bool kept = ReadAttribute(from, name, value) &&
                          ((ReadAttribute(to, name, had) && had == value) ||
                           ::fsetxattr(to, name, value.data(), value.size(), 0) == 0);
        if (!kept) {
            failed = name;
            return false;
        }
    }
    return true;
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Makes a new name (OUTPUT's, or the rename) durable. A file system that cannot sync a folder
// still has the name.
void SyncFolder(const std::string& folder) {
    const int fd =
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// Gives the new file TARGET's owner, group, extended attributes and permission bits, in this
// order: a change of owner drops capabilities, and an ACL sets the group bits.
bool KeepMetadata(int from, int to, const struct stat& target, const std::string& path,
                  Trouble& trouble) {
    struct stat info;
    if (::fstat(to, &info) != 0 ||
        ((info.st_uid != target.st_uid || info.st_gid != target.st_gid) &&
         ::fchown(to, target.st_uid, target.st_gid) != 0)) {
        return Fail(trouble, path, "its owner and group cannot be kept: " + SystemReason(errno));
    }
    std::string failed;
    if (!CopyAttributes(from, to, failed)) {
        return Fail(trouble, path,
                    "its extended attribute " + failed + " cannot be kept: " + SystemReason(errno));
    }
    if (::fchmod(to, target.st_mode & 07777) != 0) {
        return Fail(trouble, path, "its permission bits cannot be kept: " + SystemReason(errno));
    }
    return true;
}

}  // namespace

std::string_view FileNameOf(std::string_view path) {
    const size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

ReplacementFile::~ReplacementFile() {
    Discard();
    if (target_ != kNoHandle) {
        ::close(static_cast<int>(target_));
    }
}

void ReplacementFile::Discard() {
    if (new_ != kNoHandle) {
        ::close(static_cast<int>(new_));
        new_ = kNoHandle;
    }
    if (!newPath_.empty() && !kept_) {
        ::unlink(newPath_.c_str());
        newPath_.clear();
    }
}

bool ReplacementFile::OpenTarget(const char* target, const char* output, Trouble& trouble) {
    targetPath_ = target;
    outputPath_ = output ? output : "";
    replacing_ = !output;
    const bool inPlace = replacing_;
    // The type is checked before the open, which could act on a device or wait on a FIFO, and
    // again on what was opened; O_NOFOLLOW keeps a link swapped in from being followed.
    struct stat info;
    if ((inPlace ? ::lstat(target, &info) : ::stat(target, &info)) != 0) {
        return Fail(trouble, targetPath_, SystemReason(errno));
    }
    if (inPlace && S_ISLNK(info.st_mode)) {
        return Fail(trouble, targetPath_, "is a symbolic link: give the file itself");
    }
    if (!S_ISREG(info.st_mode)) {
        return Fail(trouble, targetPath_, "not a regular file");
    }
    const int fd = ::open(target, O_RDONLY | O_CLOEXEC | O_NONBLOCK | (inPlace ? O_NOFOLLOW : 0));
    if (fd < 0) {
        return Fail(trouble, targetPath_, SystemReason(errno));
    }
    target_ = fd;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        return Fail(trouble, targetPath_, "not a regular file");
    }
    identity_ = IdentityOf(info);
    mode_ = info.st_mode;
    if (!inPlace) {
        return true;
    }
    if (info.st_nlink > 1) {
        return Fail(trouble, targetPath_,
                    "has " + std::to_string(info.st_nlink) +
                        " hard links: the others would keep the old bytes");
    }
    if (info.st_mode & (S_ISUID | S_ISGID)) {
        return Fail(trouble, targetPath_, "is setuid or setgid: not replaced");
    }
    if (::faccessat(AT_FDCWD, target, W_OK, AT_EACCESS) != 0) {
        return Fail(trouble, targetPath_, "cannot be written in place: " + SystemReason(errno));
    }
    return true;
}

bool ReplacementFile::ReadTarget(uint64_t offset, void* buffer, size_t count, Trouble& trouble) {
    auto* out = static_cast<char*>(buffer);
    for (size_t done = 0; done < count;) {
        const ssize_t got = ::pread(static_cast<int>(target_), out + done, count - done,
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
    int fd = -1;
    if (!replacing_) {
        newPath_ = outputPath_;
        // O_EXCL refuses any existing name, a dangling link included.
        fd = seam_ && seam_->failCreate
                 ? (errno = EROFS, -1)
                 : ::open(outputPath_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                          mode_ & (S_IRWXU | S_IRWXG | S_IRWXO));
        if (fd < 0) {
            newPath_.clear();  // not ours to remove
            return Fail(trouble, outputPath_, SystemReason(errno));
        }
    } else {
        // mkostemp creates with O_EXCL and mode 0600; the mode is TARGET's once it is written.
        std::string name = FolderOf(targetPath_) + ReplacementTemplate(FileNameOf(targetPath_));
        fd = seam_ && seam_->failCreate ? (errno = EROFS, -1) : ::mkostemp(name.data(), O_CLOEXEC);
        if (fd < 0) {
            return Fail(trouble, targetPath_,
                        "cannot create a new file beside it: " + SystemReason(errno));
        }
        newPath_ = name;
    }
    new_ = fd;
    return true;
}

bool ReplacementFile::Write(const void* data, size_t count, Trouble& trouble) {
    const auto* in = static_cast<const char*>(data);
    for (size_t done = 0; done < count;) {
        const ssize_t written = seam_ && seam_->failWrite
                                    ? (errno = ENOSPC, -1)
                                    : ::write(static_cast<int>(new_), in + done, count - done);
        if (written < 0 && errno != EINTR) {
            return FailWrite(trouble, replacing_ ? targetPath_ : outputPath_, replacing_, errno);
        }
        done += written > 0 ? static_cast<size_t>(written) : 0;
    }
    return true;
}

bool ReplacementFile::Commit(Trouble& trouble) {
    struct stat target;
    if (replacing_ && (::fstat(static_cast<int>(target_), &target) != 0 ||
                       !KeepMetadata(static_cast<int>(target_), static_cast<int>(new_), target,
                                     targetPath_, trouble))) {
        return false;
    }
    const int fd = static_cast<int>(new_);
    new_ = kNoHandle;
    int error = ::fsync(fd) == 0 ? 0 : errno;
    if (::close(fd) != 0 && error == 0) {
        error = errno;
    }
    if (error != 0) {
        return FailWrite(trouble, replacing_ ? targetPath_ : outputPath_, replacing_, error);
    }
    if (!replacing_) {
        kept_ = true;
        SyncFolder(FolderOf(outputPath_));
        return true;
    }
    return Replace(trouble);
}

bool ReplacementFile::Replace(Trouble& trouble) {
    if (seam_ && seam_->beforeReplace) {
        seam_->beforeReplace(targetPath_);
    }
    // The file read must still be the one the name leads to, unchanged and unlinked elsewhere.
    struct stat held;
    struct stat named;
    if (::fstat(static_cast<int>(target_), &held) != 0 ||
        ::lstat(targetPath_.c_str(), &named) != 0 || IdentityOf(held) != identity_ ||
        IdentityOf(named) != identity_ || held.st_nlink != 1) {
        return Fail(trouble, targetPath_, "changed since it was read: not replaced");
    }
    if (::rename(newPath_.c_str(), targetPath_.c_str()) != 0) {
        return Fail(trouble, targetPath_, "cannot be replaced: " + SystemReason(errno));
    }
    kept_ = true;
    SyncFolder(FolderOf(targetPath_));
    return true;
}

}  // namespace tandrel
