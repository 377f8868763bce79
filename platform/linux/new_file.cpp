#include "platform/new_file.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "platform/file_system.h"

namespace tandrel {
namespace {

// The one new file a run has at a time, for the signal handler to remove: a handler can reach
// nothing but process-wide state, and may call nothing that allocates, so the name is copied
// into a buffer that exists before any signal arrives, and the flag, set after the copy and
// cleared before the name is reused, tells whether it is to be removed.
char pendingName[PATH_MAX];
std::atomic<bool> pending{false};
static_assert(std::atomic<bool>::is_always_lock_free);

constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Removes the new file, then lets the signal end the process as it would have: SA_RESETHAND
// has restored the default action, and the signal, blocked while this runs, is delivered again
// once it returns, so the exit status is the signal's.
void RemovePendingFile(int signal) {
    const int saved = errno;
    if (pending.load()) {
        ::unlink(pendingName);
    }
    ::raise(signal);
    errno = saved;
}

// Installed where the signal would end the process: one that is ignored (nohup) or handled by
// someone else stays so.
void InstallHandlers() {
    static std::atomic<bool> installed{false};
    if (installed.exchange(true)) {
        return;
    }
    for (const int signal : kEndingSignals) {
        struct sigaction now;
        if (::sigaction(signal, nullptr, &now) == 0 && now.sa_handler == SIG_DFL) {
            struct sigaction action = {};
            action.sa_handler = RemovePendingFile;
            action.sa_flags = SA_RESETHAND;
            ::sigemptyset(&action.sa_mask);
            ::sigaction(signal, &action, nullptr);
        }
    }
}

// Holds the ending signals for its lifetime, so that none arrives between a change to the new
// file's name and the flag that says whether it is still ours.
class SignalsHeld {
  public:
    SignalsHeld() {
        sigset_t ending;
        ::sigemptyset(&ending);
        for (const int signal : kEndingSignals) {
            ::sigaddset(&ending, signal);
        }
        ::pthread_sigmask(SIG_BLOCK, &ending, &before_);
    }
    ~SignalsHeld() { ::pthread_sigmask(SIG_SETMASK, &before_, nullptr); }

  private:
    sigset_t before_;
};

void Register(const std::string& path) {
    if (path.size() >= sizeof pendingName || pending.load()) {
        return;  // too long to be created, or a second new file: the destructor still removes it
    }
    InstallHandlers();
    std::memcpy(pendingName, path.c_str(), path.size() + 1);
    pending.store(true);
}

// The name of the new file written beside TARGET, with the six X that are made unique: NAME
// cut short where the whole would pass the 255 bytes a name may have.
std::string NameBeside(const std::string& target) {
    constexpr std::string_view kSuffix = ".tandrel-XXXXXX";
    constexpr size_t kLongestName = 255 - 1 - kSuffix.size();
    const std::string_view name = FileNameOf(target);
    std::string path = target.substr(0, target.size() - name.size()) + ".";
    path.append(name.substr(0, kLongestName)).append(kSuffix);
    return path;
}

}  // namespace

std::string FolderShownOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool NewFile::Fail(Trouble& trouble, int error) {
    trouble.Set(shown_, (beside_ ? "its new copy cannot be written: " : "") + SystemReason(error));
    Remove();
    return false;
}

bool NewFile::Create(const std::string& path, uint32_t mode, Trouble& trouble) {
    shown_ = path;
    beside_ = false;
    // O_EXCL refuses any existing name, a dangling link included.
    SignalsHeld held;
    const int fd = seam_ && seam_->failCreate
                       ? (errno = EROFS, -1)
                       : ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0) {
        trouble.Set(path, SystemReason(errno));
        return false;
    }
    handle_ = fd;
    path_ = path;
    Register(path_);
    return true;
}

bool NewFile::CreateBeside(const std::string& target, Trouble& trouble) {
    shown_ = target;
    beside_ = true;
    std::string name = NameBeside(target);
    SignalsHeld held;
    // mkostemp creates with O_EXCL and mode 0600.
    const int fd =
        seam_ && seam_->failCreate ? (errno = EROFS, -1) : ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
        trouble.Set(FolderShownOf(target), "cannot create a new file in it for " +
                                               std::string(FileNameOf(target)) + ": " +
                                               SystemReason(errno));
        return false;
    }
    handle_ = fd;
    path_ = name;
    Register(path_);
    return true;
}

bool NewFile::Write(const void* data, size_t count, Trouble& trouble) {
    const auto* in = static_cast<const char*>(data);
    for (size_t done = 0; done < count;) {
        const ssize_t written = seam_ && seam_->failWrite
                                    ? (errno = ENOSPC, -1)
                                    : ::write(static_cast<int>(handle_), in + done, count - done);
        if (written < 0 && errno != EINTR) {
            return Fail(trouble, errno);
        }
        done += written > 0 ? static_cast<size_t>(written) : 0;
    }
    return true;
}

bool NewFile::FlushAndClose(Trouble& trouble) {
    const int fd = static_cast<int>(handle_);
    handle_ = kNoHandle;
    int error = ::fsync(fd) == 0 ? 0 : errno;
    if (::close(fd) != 0 && error == 0) {
        error = errno;
    }
    return error == 0 || Fail(trouble, error);
}

bool NewFile::RenameTo(const std::string& to, bool replace, int& error) {
    SignalsHeld held;
    int result = replace
                     ? ::rename(path_.c_str(), to.c_str())
                     : ::renameat2(AT_FDCWD, path_.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE);
    if (result != 0 && !replace && errno == EINVAL) {
        // A file system that cannot refuse an existing name in the rename: a link does, and
        // then the new file's name goes.
        result = ::link(path_.c_str(), to.c_str());
        if (result == 0) {
            ::unlink(path_.c_str());
        }
    }
    error = result == 0 ? 0 : errno;
    if (result == 0) {
        Keep();
    }
    return result == 0;
}

void NewFile::Keep() {
    SignalsHeld held;
    if (!path_.empty() && pending.load() && path_ == pendingName) {
        pending.store(false);
    }
    path_.clear();
}

void NewFile::Remove() {
    if (handle_ != kNoHandle) {
        ::close(static_cast<int>(handle_));
        handle_ = kNoHandle;
    }
    if (!path_.empty()) {
        SignalsHeld held;
        ::unlink(path_.c_str());
        Keep();
    }
}

}  // namespace tandrel
