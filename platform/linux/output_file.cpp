#include "platform/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tandrel {
namespace {

constexpr char kOverwrite[] = "names one of the inputs, which would be overwritten";

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

bool OutputFile::NamesAnInput(intptr_t handle, std::span<const InputFile* const> inputs) {
    struct stat output;
    if (::fstat(static_cast<int>(handle), &output) != 0) {
        return false;
    }
    for (const InputFile* input : inputs) {
        struct stat info;
        if (input->handle_ != InputFile::kNoHandle &&
            ::fstat(static_cast<int>(input->handle_), &info) == 0 && SameFile(output, info)) {
            return true;
        }
    }
    return false;
}

OutputFile::~OutputFile() {
    if (stream_ != nullptr && !standardOutput_) {
        std::fclose(stream_);
    }
}

bool OutputFile::Open(const char* path, bool, bool asNewFile,
                      std::span<const InputFile* const> inputs, Trouble& trouble) {
    path_ = path;
    struct stat named;
    struct stat output;
    const bool exists = ::stat(path, &named) == 0;
    if (std::strcmp(path, "-") == 0 ||
        (exists && ::fstat(STDOUT_FILENO, &output) == 0 && SameFile(named, output))) {
        // Reopening it would truncate a file the shell opened for appending.
        if (NamesAnInput(STDOUT_FILENO, inputs)) {
            trouble.Set(path, "standard output is one of the inputs");
            return false;
        }
        stream_ = stdout;
        standardOutput_ = true;
        return true;
    }
    if (asNewFile && (!exists || S_ISREG(named.st_mode))) {
        if (!replacement_.OpenTarget(path, false, trouble)) {
            return false;
        }
        if (replacement_.TargetExists() && NamesAnInput(replacement_.TargetHandle(), inputs)) {
            trouble.Set(path, kOverwrite);
            return false;
        }
        if (!replacement_.Create(trouble)) {
            return false;
        }
        // The stream writes through a descriptor of its own; the replacement's stays open for
        // the owner, attributes and flush at Close.
        const int fd = ::fcntl(static_cast<int>(replacement_.File().Handle()), F_DUPFD_CLOEXEC, 0);
        if (fd < 0) {
            trouble.Set(path, SystemReason(errno));
            return false;
        }
        replacing_ = true;
        return OpenStream(fd, trouble);
    }
    // Write-only, so a pipe or FIFO behaves as for any writer; not truncated until it is known
    // to be no input.
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        trouble.Set(path, SystemReason(errno));
        return false;
    }
    if (NamesAnInput(fd, inputs)) {
        ::close(fd);
        trouble.Set(path, kOverwrite);
        return false;
    }
    // An empty file is left alone: ext4 starts writing back a file truncated to nothing when it
    // is closed, which made the close of a large report wait for the disk.
    struct stat info;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0 &&
        ::ftruncate(fd, 0) != 0) {
        trouble.Set(path, SystemReason(errno));
        ::close(fd);
        return false;
    }
    return OpenStream(fd, trouble);
}

bool OutputFile::OpenStream(intptr_t fd, Trouble& trouble) {
    stream_ = ::fdopen(static_cast<int>(fd), "w");
    if (stream_ == nullptr) {
        trouble.Set(path_, SystemReason(errno));
        ::close(static_cast<int>(fd));
        return false;
    }
    // The report comes in large pieces: each goes out in one write(), not through stdio's
    // small buffer first.
    std::setvbuf(stream_, nullptr, _IONBF, 0);
    return true;
}

bool OutputFile::Close(Trouble& trouble, bool keep) {
    if (stream_ == nullptr) {
        return true;
    }
    errno = 0;
    bool ok = std::fflush(stream_) == 0;
    int error = errno;
    if (!standardOutput_ && std::fclose(stream_) != 0 && ok) {
        ok = false;
        error = errno;
    }
    stream_ = nullptr;
    if (!ok) {
        trouble.Set(path_, SystemReason(error));
    }
    if (replacing_) {
        replacing_ = false;
        if (!ok || !keep) {
            replacement_.File().Remove();
            return ok;
        }
        return replacement_.Commit(trouble);
    }
    return ok;
}

}  // namespace tandrel
