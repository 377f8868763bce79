#include "platform/file_replacement.h"

#include <windows.h>

#include "platform/win32/windows_reason.h"

namespace tandrel {
namespace {

HANDLE AsHandle(intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

bool Fail(Trouble& trouble, const std::string& file, std::string reason) {
    trouble.Set(file, std::move(reason));
    return false;
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

// Full paths: Wine's ReplaceFile finds no folder for its work in a bare name.
std::string FullPath(const std::string& path) {
    char full[MAX_PATH];
    const DWORD length = ::GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
    return length > 0 && length < MAX_PATH ? std::string(full, length) : path;
}

}  // namespace

FileReplacement::~FileReplacement() {
    new_.Remove();
    if (target_ != NewFile::kNoHandle) {
        ::CloseHandle(AsHandle(target_));
    }
}

bool FileReplacement::OpenTarget(const std::string& target, bool mustExist, Trouble& trouble) {
    targetPath_ = target;
    // Sharing for reading only: no other program writes to TARGET while it is read and checked.
    // A link is opened as the link itself, to be refused.
    const HANDLE file =
        ::CreateFileA(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                      FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        return (error == ERROR_FILE_NOT_FOUND && !mustExist) ||
               Fail(trouble, target, WindowsReason(error));
    }
    target_ = reinterpret_cast<intptr_t>(file);
    BY_HANDLE_FILE_INFORMATION info;
    if (::GetFileType(file) != FILE_TYPE_DISK || !::GetFileInformationByHandle(file, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return Fail(trouble, target, "not a regular file");
    }
    identity_ = IdentityOf(info);
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        return Fail(trouble, target,
                    "is a symbolic link or another reparse point: give the file itself");
    }
    if (info.nNumberOfLinks > 1) {
        return Fail(trouble, target,
                    "has " + std::to_string(info.nNumberOfLinks) +
                        " hard links: the others would keep the old bytes");
    }
    if (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) {
        return Fail(trouble, target, "is read-only: not replaced");
    }
    return true;
}

bool FileReplacement::Create(Trouble& trouble) {
    return new_.CreateBeside(targetPath_, trouble);
}

bool FileReplacement::Commit(Trouble& trouble) {
    if (!new_.FlushAndClose(trouble) || !Replace(trouble)) {
        new_.Remove();
        return false;
    }
    return true;
}

bool FileReplacement::Replace(Trouble& trouble) {
    // TARGET was shared for reading only until now; from here its name is checked.
    const bool exists = TargetExists();
    if (exists) {
        ::CloseHandle(AsHandle(target_));
        target_ = NewFile::kNoHandle;
    }
    if (seam_ && seam_->beforeReplace) {
        seam_->beforeReplace(targetPath_);
    }
    BY_HANDLE_FILE_INFORMATION info;
    const bool named = QueryByName(targetPath_, info);
    if (exists ? (!named || IdentityOf(info) != identity_ || info.nNumberOfLinks != 1 ||
                  (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
               : named) {
        return Fail(trouble, targetPath_, "changed since it was opened: not replaced");
    }
    if (!exists) {
        int error = 0;
        return new_.RenameTo(targetPath_, false, error) ||
               Fail(trouble, targetPath_, "cannot be written: " + WindowsReason(error));
    }
    // ReplaceFileA carries TARGET's attributes, security descriptor (owner and ACL), alternate
    // data streams and creation time over to the new file, and without
    // REPLACEFILE_IGNORE_MERGE_ERRORS fails rather than drop one, leaving TARGET under its name.
    // MoveFileExA would put in TARGET's place a file with only what its folder gives a new one.
    const std::string target = FullPath(targetPath_);
    const std::string replacement = FullPath(new_.Path());
    if (!::ReplaceFileA(target.c_str(), replacement.c_str(), nullptr, 0, nullptr, nullptr)) {
        return Fail(trouble, targetPath_, "cannot be replaced: " + WindowsReason(::GetLastError()));
    }
    new_.Keep();
    return true;
}

}  // namespace tandrel
