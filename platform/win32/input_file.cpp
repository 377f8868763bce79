#include "platform/input_file.h"

#include <windows.h>

#include "platform/win32/dword_count.h"

namespace tandrel {
namespace {

// The sequential-scan hint, with the attribute bits an existing file's open ignores.
constexpr DWORD kSequentialReadFlags = FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_READONLY |
                                       FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                       FILE_ATTRIBUTE_ARCHIVE;

HANDLE AsHandle(intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

}  // namespace

bool InputFile::Open(const char* path, Trouble& trouble) {
    Close();
    // Sharing for reading only keeps other programs from writing while the file is compared.
    // A folder cannot be opened this way (that needs FILE_FLAG_BACKUP_SEMANTICS).
    const HANDLE file = ::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      kSequentialReadFlags, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        trouble.Set(path, "cannot be opened");
        return false;
    }
    // A device (NUL, CON) or a pipe has no size its reads keep to.
    LARGE_INTEGER size;
    if (::GetFileType(file) != FILE_TYPE_DISK || !::GetFileSizeEx(file, &size)) {
        trouble.Set(path, "not a file on a disk");
        ::CloseHandle(file);
        return false;
    }
    handle_ = reinterpret_cast<intptr_t>(file);
    size_ = static_cast<uint64_t>(size.QuadPart);
    return true;
}

InputFile::~InputFile() {
    Close();
}

void InputFile::Close() {
    if (handle_ != kNoHandle) {
        ::CloseHandle(AsHandle(handle_));
        handle_ = kNoHandle;
    }
    size_ = 0;
}

bool InputFile::ReadAt(uint64_t offset, void* buffer, size_t count, size_t& bytesRead) const {
    bytesRead = 0;
    if (handle_ == kNoHandle) {
        return false;
    }
    auto* out = static_cast<char*>(buffer);
    // ReadFile takes a DWORD count; a chunk fits in one call, larger requests take several.
    // Only a read of 0 bytes means the end of the file.
    while (bytesRead < count) {
        OVERLAPPED at = {};
        const uint64_t position = offset + bytesRead;
        at.Offset = static_cast<DWORD>(position);
        at.OffsetHigh = static_cast<DWORD>(position >> 32);
        DWORD got = 0;
        if (!::ReadFile(AsHandle(handle_), out + bytesRead, DwordCount(count - bytesRead), &got,
                        &at)) {
            if (::GetLastError() == ERROR_HANDLE_EOF) {
                break;
            }
            bytesRead = 0;
            return false;
        }
        if (got == 0) {
            break;
        }
        bytesRead += got;
    }
    return true;
}

bool InputFile::CurrentSize(uint64_t& size) const {
    LARGE_INTEGER now;
    if (handle_ == kNoHandle || !::GetFileSizeEx(AsHandle(handle_), &now)) {
        return false;
    }
    size = static_cast<uint64_t>(now.QuadPart);
    return true;
}

// Shared for reading only, the file cannot change while it is open.
bool InputFile::UnchangedSinceOpen() const {
    return true;
}

}  // namespace tandrel
