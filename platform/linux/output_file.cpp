#include "platform/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tandrel {
namespace {

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

bool OutputFile::Open(const char* path, bool, std::span<const InputFile* const> inputs,
                      Trouble& trouble) {
    path_ = path;
    struct stat named;
    struct stat output;
    const bool isStdout = std::strcmp(path, "-") == 0 ||
                          (::stat(path, &named) == 0 && ::fstat(STDOUT_FILENO, &output) == 0 &&
                           SameFile(named, output));
    if (isStdout) {
        // Reopening it would truncate a file the shell opened for appending.
        if (NamesAnInput(STDOUT_FILENO, inputs)) {
            trouble.Set(path, "standard output is one of the inputs");
            return false;
        }
        stream_ = stdout;
        standardOutput_ = true;
        return true;
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
        trouble.Set(path, "names one of the inputs, which would be overwritten");
        return false;
    }
    struct stat info;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && ::ftruncate(fd, 0) != 0) {
        trouble.Set(path, SystemReason(errno));
        ::close(fd);
        return false;
    }
    stream_ = ::fdopen(fd, "w");
    if (stream_ == nullptr) {
        trouble.Set(path, SystemReason(errno));
        ::close(fd);
        return false;
    }
    return true;
}

bool OutputFile::Close(Trouble& trouble) {
    if (stream_ == nullptr) {
        return true;
    }
    errno = 0;
    const bool flushed = std::fflush(stream_) == 0;
    const int error = errno;
    const bool closed = standardOutput_ || std::fclose(stream_) == 0;
    const int closeError = errno;
    stream_ = nullptr;
    if (!flushed || !closed) {
        trouble.Set(path_, SystemReason(!flushed ? error : closeError));
        return false;
    }
    return true;
}

}  // namespace tandrel
