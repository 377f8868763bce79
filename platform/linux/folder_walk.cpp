#include "platform/folder_walk.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace tandrel {
namespace {

EntryKind KindOfMode(mode_t mode) {
    if (S_ISREG(mode)) {
        return EntryKind::kFile;
    }
    if (S_ISDIR(mode)) {
        return EntryKind::kFolder;
    }
    if (S_ISLNK(mode)) {
        return EntryKind::kLink;
    }
    return EntryKind::kOther;
}

// Closes a listing on every path out.
struct FolderHandle {
    DIR* dir;
    ~FolderHandle() {
        if (dir != nullptr) {
            closedir(dir);
        }
    }
};

}  // namespace

bool ListFolder(const std::string& folder, std::vector<FolderEntry>& entries, Trouble& trouble) {
    entries.clear();
    // O_NOFOLLOW: a folder that was swapped for a link since it was looked at is not walked into.
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        trouble.Set(folder, SystemReason(errno));
        return false;
    }
    FolderHandle handle{fdopendir(fd)};
    if (handle.dir == nullptr) {
        trouble.Set(folder, SystemReason(errno));
        close(fd);
        return false;
    }
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(handle.dir);
        if (entry == nullptr) {
            if (errno != 0) {
                trouble.Set(folder, SystemReason(errno));
                return false;
            }
            break;
        }
        const std::string name = entry->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        struct stat status {};
        if (fstatat(fd, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT) {
                continue;  // gone since it was listed
            }
            trouble.Set(JoinPath(folder, name), SystemReason(errno));
            return false;
        }
        const EntryKind kind = KindOfMode(status.st_mode);
        entries.push_back(
            {name, kind, kind == EntryKind::kFile ? static_cast<uint64_t>(status.st_size) : 0});
    }
    std::sort(entries.begin(), entries.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    return true;
}

bool EntryKindOf(const std::string& path, EntryKind& kind, Trouble& trouble) {
    struct stat status {};
    if (lstat(path.c_str(), &status) != 0) {
        trouble.Set(path, SystemReason(errno));
        return false;
    }
    kind = KindOfMode(status.st_mode);
    return true;
}

bool ReadLinkText(const std::string& path, std::string& text, Trouble& trouble) {
    std::string buffer(256, '\0');
    for (;;) {
        const ssize_t length = readlink(path.c_str(), buffer.data(), buffer.size());
        if (length < 0) {
            trouble.Set(path, SystemReason(errno));
            return false;
        }
        if (static_cast<size_t>(length) < buffer.size()) {
            text.assign(buffer.data(), static_cast<size_t>(length));
            return true;
        }
        buffer.resize(buffer.size() * 2);
    }
}

bool PathIsFolder(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

uint64_t FileSizeOf(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode)
               ? static_cast<uint64_t>(status.st_size)
               : 0;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '/') {
        return folder + name;
    }
    return folder + '/' + name;
}

bool FolderIsWithin(const std::string& inner, const std::string& outer) {
    struct stat target {};
    if (stat(outer.c_str(), &target) != 0) {
        return false;
    }
    std::string path = inner;
    for (int depth = 0; depth < 4096; ++depth) {
        struct stat here {};
        if (stat(path.c_str(), &here) != 0) {
            return false;
        }
        if (here.st_dev == target.st_dev && here.st_ino == target.st_ino) {
            return true;
        }
        struct stat parent {};
        const std::string up = JoinPath(path, "..");
        if (stat(up.c_str(), &parent) != 0) {
            return false;
        }
        if (parent.st_dev == here.st_dev && parent.st_ino == here.st_ino) {
            return false;  // the root
        }
        path = up;
    }
    return false;
}

}  // namespace tandrel
