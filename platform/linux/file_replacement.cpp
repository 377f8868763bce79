#include "platform/file_replacement.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/linux/folder_sync.h"

namespace tandrel {
namespace {

constexpr int64_t kNanosecondsPerSecond = 1000000000;
// Granted to a program's content, not to its name: never carried to new content.
constexpr char kCapabilities[] = "security.capability";

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

// Gives the new file exactly TARGET's extended attributes (POSIX ACLs among them), file
// capabilities aside: an ACL that the new file inherited from its folder would change who may
// use it.
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
        if (std::strcmp(name, kCapabilities) == 0) {
            continue;
        }
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

}  // namespace

FileReplacement::~FileReplacement() {
    new_.Remove();
    if (target_ != NewFile::kNoHandle) {
        ::close(static_cast<int>(target_));
    }
}

bool FileReplacement::OpenTarget(const std::string& target, bool mustExist, Trouble& trouble) {
    targetPath_ = target;
    // The type is checked before the open, which could act on a device or wait on a FIFO, and
    // again on what was opened; O_NOFOLLOW keeps a link swapped in from being followed.
    struct stat info;
    if (::lstat(target.c_str(), &info) != 0) {
        return (errno == ENOENT && !mustExist) || Fail(trouble, target, SystemReason(errno));
    }
    if (S_ISLNK(info.st_mode)) {
        return Fail(trouble, target, "is a symbolic link: give the file itself");
    }
    if (!S_ISREG(info.st_mode)) {
        return Fail(trouble, target, "not a regular file");
    }
    const int fd = ::open(target.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
    if (fd < 0) {
        return Fail(trouble, target, SystemReason(errno));
    }
    target_ = fd;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        return Fail(trouble, target, "not a regular file");
    }
    identity_ = IdentityOf(info);
    if (info.st_nlink > 1) {
        return Fail(trouble, target,
                    "has " + std::to_string(info.st_nlink) +
                        " hard links: the others would keep the old bytes");
    }
    if (info.st_mode & (S_ISUID | S_ISGID)) {
        return Fail(trouble, target, "is setuid or setgid: not replaced");
    }
    if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
        return Fail(trouble, target, "cannot be written in place: " + SystemReason(errno));
    }
    return true;
}

bool FileReplacement::Create(Trouble& trouble) {
    return new_.CreateBeside(targetPath_, trouble);
}

// TARGET's owner, group, extended attributes and permission bits, in this order: a change of
// owner drops capabilities, and an ACL sets the group bits. With no TARGET, the bits a new file
// gets.
bool FileReplacement::KeepMetadata(Trouble& trouble) {
    const int to = static_cast<int>(new_.Handle());
    if (!TargetExists()) {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        return ::fchmod(to, 0666 & ~mask) == 0 ||
               Fail(trouble, targetPath_, "cannot be given its mode: " + SystemReason(errno));
    }
    const int from = static_cast<int>(target_);
    struct stat target;
    struct stat info;
    if (::fstat(from, &target) != 0 || ::fstat(to, &info) != 0 ||
        ((info.st_uid != target.st_uid || info.st_gid != target.st_gid) &&
         ::fchown(to, target.st_uid, target.st_gid) != 0)) {
        return Fail(trouble, targetPath_,
                    "its owner and group cannot be kept: " + SystemReason(errno));
    }
    std::string failed;
    if (!CopyAttributes(from, to, failed)) {
        return Fail(trouble, targetPath_,
                    "its extended attribute " + failed + " cannot be kept: " + SystemReason(errno));
    }
    if (::fchmod(to, target.st_mode & 07777 & ~(S_ISUID | S_ISGID)) != 0) {
        return Fail(trouble, targetPath_,
                    "its permission bits cannot be kept: " + SystemReason(errno));
    }
    return true;
}

bool FileReplacement::Commit(Trouble& trouble) {
    if (!KeepMetadata(trouble) || !new_.FlushAndClose(trouble)) {
        new_.Remove();
        return false;
    }
    if (!Replace(trouble)) {
        new_.Remove();
        return false;
    }
    SyncFolder(FolderShownOf(targetPath_));
    return true;
}

bool FileReplacement::Replace(Trouble& trouble) {
    if (seam_ && seam_->beforeReplace) {
        seam_->beforeReplace(targetPath_);
    }
    // The file read must still be the one the name leads to, unchanged and unlinked elsewhere;
    // where there was none, nothing may have taken the name meanwhile.
    struct stat held;
    struct stat named;
    const bool exists = TargetExists();
    if (exists && (::fstat(static_cast<int>(target_), &held) != 0 ||
                   ::lstat(targetPath_.c_str(), &named) != 0 || IdentityOf(held) != identity_ ||
                   IdentityOf(named) != identity_ || held.st_nlink != 1)) {
        return Fail(trouble, targetPath_, "changed since it was opened: not replaced");
    }
    int error = 0;
    if (!new_.RenameTo(targetPath_, exists, error)) {
        return Fail(trouble, targetPath_,
                    error == EEXIST ? "created by another program meanwhile: not replaced"
                                    : "cannot be replaced: " + SystemReason(error));
    }
    return true;
}

}  // namespace tandrel
