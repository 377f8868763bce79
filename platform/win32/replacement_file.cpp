#include "platform/replacement_file.h"

#include <windows.h>

#include "platform/win32/dword_count.h"

namespace tandrel {
namespace {

HANDLE AsHandle(intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

bool Fail(Trouble& trouble, const std::string& file, std::string reason) {
    trouble.Set(file, std::move(reason));
    return false;
}

// The system's text for an error code, without its closing period and line end.
std::string WindowsReason(DWORD error) {
    char* text = nullptr;
    const DWORD length = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string reason = length ? std::string(text, length) : "error " + std::to_string(error);
    ::LocalFree(text);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' ||
                               reason.back() == ' ' || reason.back() == '.')) {
        reason.pop_back();
    }
    return reason;
}

bool FailWrite(Trouble& trouble, const std::string& file, bool replacing, DWORD error) {
    return Fail(trouble, file,
                (replacing ? "cannot write its patched copy: " : "") + WindowsReason(error));
}

FileIdentity IdentityOf(const BY_HANDLE_FILE_INFORMATION& info) {
    return {info.dwVolumeSerialNumber, uint64_t{info.nFileIndexHigh} << 32 | info.nFileIndexLow,
            uint64_t{info.nFileSizeHigh} << 32 | info.nFileSizeLow,
            static_cast<int64_t>(uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32 |
                                 info.ftLastWriteTime.dwLowDateTime),
            0};
}

// TARGET as its name leads to it now, the name itself if it is a link; false when it is gone.
bool QueryByName(const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
    const HANDLE file = ::CreateFileA(
        path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    const bool ok = ::GetFileInformationByHandle(file, &info) != 0;
    ::CloseHandle(file);
    return ok;
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

std::string FullPath(const std::string& path) {
    char full[MAX_PATH];
    const DWORD length = ::GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
    return length > 0 && length < MAX_PATH ? std::string(full, length) : path;
}

}  // namespace

std::string_view FileNameOf(std::string_view path) {
    const size_t separator = path.find_last_of("\\/:");
    return separator == std::string_view::npos ? path : path.substr(separator + 1);
}

ReplacementFile::~ReplacementFile() {
    Discard();
    if (target_ != kNoHandle) {
        ::CloseHandle(AsHandle(target_));
    }
}

void ReplacementFile::Discard() {
    if (new_ != kNoHandle) {
        ::CloseHandle(AsHandle(new_));
        new_ = kNoHandle;
    }
    if (!newPath_.empty() && !kept_) {
        ::DeleteFileA(newPath_.c_str());
        newPath_.clear();
    }
}

bool ReplacementFile::OpenTarget(const char* target, const char* output, Trouble& trouble) {
    targetPath_ = target;
    outputPath_ = output ? output : "";
    replacing_ = !output;
    // Sharing for reading only: no other program writes to TARGET while it is read and checked.
    // A link to be replaced is opened as the link itself, to be refused.
    const HANDLE file = ::CreateFileA(
        target, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
        FILE_FLAG_SEQUENTIAL_SCAN | (replacing_ ? FILE_FLAG_OPEN_REPARSE_POINT : 0), nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return Fail(trouble, targetPath_, WindowsReason(::GetLastError()));
    }
    target_ = reinterpret_cast<intptr_t>(file);
    BY_HANDLE_FILE_INFORMATION info;
    if (::GetFileType(file) != FILE_TYPE_DISK || !::GetFileInformationByHandle(file, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return Fail(trouble, targetPath_, "not a regular file");
    }
    identity_ = IdentityOf(info);
    if (!replacing_) {
        return true;
    }
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        return Fail(trouble, targetPath_,
                    "is a symbolic link or another reparse point: give the file itself");
    }
    if (info.nNumberOfLinks > 1) {
        return Fail(trouble, targetPath_,
                    "has " + std::to_string(info.nNumberOfLinks) +
                        " hard links: the others would keep the old bytes");
    }
    if (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) {
        return Fail(trouble, targetPath_, "is read-only: not replaced");
    }
    return true;
}

bool ReplacementFile::ReadTarget(uint64_t offset, void* buffer, size_t count, Trouble& trouble) {
    auto* out = static_cast<char*>(buffer);
    for (size_t done = 0; done < count;) {
        OVERLAPPED at = {};
        at.Offset = static_cast<DWORD>(offset + done);
        at.OffsetHigh = static_cast<DWORD>((offset + done) >> 32);
        DWORD got = 0;
        if (!::ReadFile(AsHandle(target_), out + done, DwordCount(count - done), &got, &at) &&
            ::GetLastError() != ERROR_HANDLE_EOF) {
            return Fail(trouble, targetPath_, WindowsReason(::GetLastError()));
        }
        if (got == 0) {
            return Fail(trouble, targetPath_, "changed while it was read: it ends early");
        }
        done += got;
    }
    return true;
}

bool ReplacementFile::Create(Trouble& trouble) {
    HANDLE file = INVALID_HANDLE_VALUE;
    DWORD error = ERROR_WRITE_PROTECT;
    if (!replacing_) {
        if (!(seam_ && seam_->failCreate)) {
            // CREATE_NEW refuses any existing name.
            file = ::CreateFileA(outputPath_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
            error = ::GetLastError();
        }
        if (file == INVALID_HANDLE_VALUE) {
            return Fail(trouble, outputPath_, WindowsReason(error));
        }
        newPath_ = outputPath_;
    } else {
        const std::string_view name = FileNameOf(targetPath_);
        std::string path =
            targetPath_.substr(0, targetPath_.size() - name.size()) + ReplacementTemplate(name);
        for (unsigned attempt = 0; !(seam_ && seam_->failCreate) && attempt < 100; ++attempt) {
            FillUnique(path, path.size() - 6, attempt);
            file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
            error = ::GetLastError();
            if (file != INVALID_HANDLE_VALUE || error != ERROR_FILE_EXISTS) {
                break;
            }
        }
        if (file == INVALID_HANDLE_VALUE) {
            return Fail(trouble, targetPath_,
                        "cannot create a new file beside it: " + WindowsReason(error));
        }
        newPath_ = path;
    }
    new_ = reinterpret_cast<intptr_t>(file);
    return true;
}

bool ReplacementFile::Write(const void* data, size_t count, Trouble& trouble) {
    const auto* in = static_cast<const char*>(data);
    for (size_t done = 0; done < count;) {
        DWORD written = 0;
        if (seam_ && seam_->failWrite) {
            return FailWrite(trouble, replacing_ ? targetPath_ : outputPath_, replacing_,
                             ERROR_DISK_FULL);
        }
        if (!::WriteFile(AsHandle(new_), in + done, DwordCount(count - done), &written, nullptr) ||
            written == 0) {
            return FailWrite(trouble, replacing_ ? targetPath_ : outputPath_, replacing_,
                             ::GetLastError());
        }
        done += written;
    }
    return true;
}

bool ReplacementFile::Commit(Trouble& trouble) {
    const HANDLE file = AsHandle(new_);
    new_ = kNoHandle;
    DWORD error = ::FlushFileBuffers(file) ? 0 : ::GetLastError();
    if (!::CloseHandle(file) && error == 0) {
        error = ::GetLastError();
    }
    if (error != 0) {
        return FailWrite(trouble, replacing_ ? targetPath_ : outputPath_, replacing_, error);
    }
    if (!replacing_) {
        kept_ = true;
        return true;
    }
    return Replace(trouble);
}

bool ReplacementFile::Replace(Trouble& trouble) {
    // TARGET was shared for reading only until now; from here its name is checked.
    ::CloseHandle(AsHandle(target_));
    target_ = kNoHandle;
    if (seam_ && seam_->beforeReplace) {
        seam_->beforeReplace(targetPath_);
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!QueryByName(targetPath_, info) || IdentityOf(info) != identity_ ||
        info.nNumberOfLinks != 1 || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        return Fail(trouble, targetPath_, "changed since it was read: not replaced");
    }
    // ReplaceFileA carries TARGET's attributes, security descriptor (owner and ACL), alternate
    // data streams and creation time over to the new file, and without
    // REPLACEFILE_IGNORE_MERGE_ERRORS fails rather than drop one, leaving TARGET under its name.
    // MoveFileExA would put in TARGET's place a file with only what its folder gives a new one.
    // Full paths: Wine's ReplaceFile finds no folder for its work in a bare name.
    const std::string target = FullPath(targetPath_);
    const std::string replacement = FullPath(newPath_);
    if (!::ReplaceFileA(target.c_str(), replacement.c_str(), nullptr, 0, nullptr, nullptr)) {
        return Fail(trouble, targetPath_, "cannot be replaced: " + WindowsReason(::GetLastError()));
    }
    kept_ = true;
    return true;
}

}  // namespace tandrel
