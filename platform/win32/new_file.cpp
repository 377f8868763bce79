#include "platform/new_file.h"

#include <windows.h>

#include "platform/file_system.h"
#include "platform/win32/dword_count.h"
#include "platform/win32/windows_reason.h"

namespace tandrel {
namespace {

HANDLE AsHandle(intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

// Six characters for the new file's name; CREATE_NEW, not these, keeps it from taking an
// existing name.
void FillUnique(std::string& name, size_t at, unsigned attempt) {
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    uint64_t mix = static_cast<uint64_t>(now.QuadPart) ^ uint64_t {
        ::GetCurrentProcessId()
    } << 32 ^ uint64_t { attempt } * 0x9E3779B97F4A7C15;
    constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (size_t k = 0; k < 6; ++k) {
        mix ^= mix >> 31;
        mix *= 0xBF58476D1CE4E5B9;
        name[at + k] = kLetters[mix % (sizeof kLetters - 1)];
    }
}

HANDLE CreateExclusive(const std::string& path) {
    return ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

std::string FolderShownOf(const std::string& path) {
    const size_t separator = path.find_last_of("\\/:");
    if (separator == std::string::npos) {
        return ".";
    }
    return separator == 0 || path[separator] == ':' ? path.substr(0, separator + 1)
                                                    : path.substr(0, separator);
}

bool NewFile::Fail(Trouble& trouble, int error) {
    trouble.Set(shown_, (beside_ ? "its new copy cannot be written: " : "") +
                            WindowsReason(static_cast<DWORD>(error)));
    Remove();
    return false;
}

bool NewFile::Create(const std::string& path, uint32_t, Trouble& trouble) {
    shown_ = path;
    beside_ = false;
    // CREATE_NEW refuses any existing name.
    const HANDLE file = seam_ && seam_->failCreate ? INVALID_HANDLE_VALUE : CreateExclusive(path);
    if (file == INVALID_HANDLE_VALUE) {
        trouble.Set(path, WindowsReason(seam_ && seam_->failCreate ? ERROR_WRITE_PROTECT
                                                                   : ::GetLastError()));
        return false;
    }
    handle_ = reinterpret_cast<intptr_t>(file);
    path_ = path;
    return true;
}

bool NewFile::CreateBeside(const std::string& target, Trouble& trouble) {
    shown_ = target;
    beside_ = true;
    const std::string_view name = FileNameOf(target);
    // NAME cut short where the whole would pass the 255 characters a name may have.
    constexpr std::string_view kSuffix = ".tandrel-XXXXXX";
    std::string path = target.substr(0, target.size() - name.size()) + ".";
    path.append(name.substr(0, 255 - 1 - kSuffix.size())).append(kSuffix);
    HANDLE file = INVALID_HANDLE_VALUE;
    DWORD error = ERROR_WRITE_PROTECT;
    for (unsigned attempt = 0; !(seam_ && seam_->failCreate) && attempt < 100; ++attempt) {
        FillUnique(path, path.size() - 6, attempt);
        file = CreateExclusive(path);
        error = ::GetLastError();
        if (file != INVALID_HANDLE_VALUE || error != ERROR_FILE_EXISTS) {
            break;
        }
    }
    if (file == INVALID_HANDLE_VALUE) {
        trouble.Set(FolderShownOf(target), "cannot create a new file in it for " +
                                               std::string(name) + ": " + WindowsReason(error));
        return false;
    }
    handle_ = reinterpret_cast<intptr_t>(file);
    path_ = path;
    return true;
}

bool NewFile::Write(const void* data, size_t count, Trouble& trouble) {
    const auto* in = static_cast<const char*>(data);
    for (size_t done = 0; done < count;) {
        DWORD written = 0;
        if (seam_ && seam_->failWrite) {
            return Fail(trouble, ERROR_DISK_FULL);
        }
        if (!::WriteFile(AsHandle(handle_), in + done, DwordCount(count - done), &written,
                         nullptr) ||
            written == 0) {
            return Fail(trouble, static_cast<int>(::GetLastError()));
        }
        done += written;
    }
    return true;
}

bool NewFile::FlushAndClose(Trouble& trouble) {
    const HANDLE file = AsHandle(handle_);
    handle_ = kNoHandle;
    DWORD error = ::FlushFileBuffers(file) ? 0 : ::GetLastError();
    if (!::CloseHandle(file) && error == 0) {
        error = ::GetLastError();
    }
    return error == 0 || Fail(trouble, static_cast<int>(error));
}

// Only a rename where nothing is: replacing a file is ReplaceFile's (see FileReplacement).
bool NewFile::RenameTo(const std::string& to, bool replace, int& error) {
    const bool moved =
        ::MoveFileExA(path_.c_str(), to.c_str(),
                      MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0)) != 0;
    error = moved ? 0 : static_cast<int>(::GetLastError());
    if (moved) {
        Keep();
    }
    return moved;
}

void NewFile::Keep() {
    path_.clear();
}

void NewFile::Remove() {
    if (handle_ != kNoHandle) {
        ::CloseHandle(AsHandle(handle_));
        handle_ = kNoHandle;
    }
    if (!path_.empty()) {
        ::DeleteFileA(path_.c_str());
        path_.clear();
    }
}

}  // namespace tandrel
