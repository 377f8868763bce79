#include "ui/qt/trusted_file.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <vector>

namespace tandrel {
namespace {

// As many links as the kernel follows in one lookup.
constexpr int kMaxLinks = 40;

// Takes the first component off rest, skipping empty ones and "."; empty when none is left.
std::string TakeComponent(std::string& rest) {
    while (!rest.empty()) {
        const size_t end = std::min(rest.find('/'), rest.size());
        std::string name = rest.substr(0, end);
        rest.erase(0, end + 1);
        if (!name.empty() && name != ".") {
            return name;
        }
    }
    return {};
}

std::string OwnerFault(const struct stat& status, const std::string& subject) {
    if (status.st_uid == 0 || status.st_uid == ::getuid()) {
        return {};
    }
    return subject + "owned by another user (uid " + std::to_string(status.st_uid) + ")";
}

// True when the user is the group's only member: no other account has it as its primary group
// and its member list names nobody else (a user-private group, as Debian's OpenSSH judges one).
bool UserOnlyGroup(gid_t group) {
    const struct passwd* user = ::getpwuid(::getuid());
    const struct group* entry = ::getgrgid(group);
    if (user == nullptr || entry == nullptr) {
        return false;
    }
    const std::string name = user->pw_name;
    for (char* const* member = entry->gr_mem; *member != nullptr; ++member) {
        if (name != *member) {
            return false;
        }
    }
    bool shared = false;
    ::setpwent();
    while (const struct passwd* account = ::getpwent()) {
        shared = shared || (account->pw_gid == group && account->pw_uid != ::getuid());
    }
    ::endpwent();
    return !shared;
}

// Groups whose members may already change what root or the user installs: root's, Debian's staff
// (which may write /usr/local), and the user's primary group when nobody else is in it (a group
// such as "users" that other accounts share would let any of them plant code).
bool TrustedGroup(gid_t group) {
    if (group == 0) {
        return true;
    }
    if (const struct group* staff = ::getgrnam("staff");
        staff != nullptr && staff->gr_gid == group) {
        return true;
    }
    return group == ::getgid() && UserOnlyGroup(group);
}

// Why a folder, or the file itself, is not safe to load from, or empty; subject starts the
// reason ("folder /opt/x is ", or nothing for the file). In a sticky folder nobody else can
// rename or remove what root or the user put there, so it may be writable by others.
std::string Fault(const struct stat& status, const std::string& subject) {
    const bool folder = S_ISDIR(status.st_mode);
    const mode_t mode = status.st_mode;
    if (std::string owner = OwnerFault(status, subject); !owner.empty()) {
        return owner;
    }
    if ((mode & S_IWOTH) != 0 && !(folder && (mode & S_ISVTX) != 0)) {
        return subject + "writable by others";
    }
    if ((mode & S_IWGRP) != 0 && !(folder && TrustedGroup(status.st_gid))) {
        return subject + "writable by group " + std::to_string(status.st_gid);
    }
    return {};
}

struct Folder {
    UniqueFd fd;       // opened with O_PATH
    std::string name;  // as resolved, for messages
};

}  // namespace

UniqueFd OpenTrustedFile(const std::string& path, Trouble& trouble) {
    const auto refuse = [&](std::string reason) {
        trouble.Set(path, std::move(reason));
        return UniqueFd();
    };
    std::vector<Folder> folders;
    folders.push_back({UniqueFd(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC)), "/"});
    struct stat status {};
    if (!folders[0].fd.Valid() || ::fstat(folders[0].fd.Get(), &status) != 0) {
        return refuse(SystemReason(errno));
    }
    if (std::string fault = Fault(status, "folder / is "); !fault.empty()) {
        return refuse(fault);
    }
    std::string rest = path;
    int links = 0;
    for (std::string name = TakeComponent(rest); !name.empty(); name = TakeComponent(rest)) {
        std::string after = rest;
        const bool last = TakeComponent(after).empty();
        if (name == "..") {
            if (folders.size() > 1) {
                folders.pop_back();
            }
            continue;
        }
        const int parent = folders.back().fd.Get();
        const std::string shown = (folders.size() > 1 ? folders.back().name : "") + "/" + name;
        UniqueFd entry(::openat(parent, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        if (!entry.Valid() || ::fstat(entry.Get(), &status) != 0) {
            return refuse(SystemReason(errno));
        }
        if (S_ISLNK(status.st_mode)) {
            if (std::string fault = OwnerFault(status, "link " + shown + " is "); !fault.empty()) {
                return refuse(fault);
            }
            char target[PATH_MAX];
            const ssize_t length = ::readlinkat(entry.Get(), "", target, sizeof target);
            const int error = length < 0                ? errno
                              : ++links > kMaxLinks     ? ELOOP
                              : length == sizeof target ? ENAMETOOLONG
                                                        : 0;
            if (error != 0) {
                return refuse(SystemReason(error));
            }
            if (target[0] == '/') {
                folders.erase(folders.begin() + 1, folders.end());
            }
            rest = std::string(target, size_t(length)) + "/" + rest;
        } else if (!last) {
            if (!S_ISDIR(status.st_mode)) {
                return refuse(shown + " is not a folder");
            }
            if (std::string fault = Fault(status, "folder " + shown + " is "); !fault.empty()) {
                return refuse(fault);
            }
            folders.push_back({std::move(entry), shown});
        } else {
            // Only a regular file is opened: opening a device can act on it.
            if (!S_ISREG(status.st_mode)) {
                return refuse("not a regular file");
            }
            UniqueFd file(
                ::openat(parent, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
            if (!file.Valid() || ::fstat(file.Get(), &status) != 0) {
                return refuse(SystemReason(errno));
            }
            const std::string fault =
                S_ISREG(status.st_mode) ? Fault(status, "") : "not a regular file";
            return fault.empty() ? std::move(file) : refuse(fault);
        }
    }
    return refuse(SystemReason(EISDIR));
}

}  // namespace tandrel
