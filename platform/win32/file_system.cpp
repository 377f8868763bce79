#include "platform/file_system.h"

#include <windows.h>

#include "platform/win32/dword_count.h"

namespace tandrel {
namespace {

// Opens a file or folder for reading its attributes only, so that no sharing mode of another
// open stands in the way.
HANDLE OpenForQuery(const char* path) {
    return ::CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

bool QueryIdentity(const char* path, BY_HANDLE_FILE_INFORMATION& info) {
    const HANDLE file = OpenForQuery(path);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    const bool ok = ::GetFileInformationByHandle(file, &info) != 0;
    ::CloseHandle(file);
    return ok;
}

}  // namespace

bool WriteNewFile(const char* path, const char* data, size_t size) {
    // CREATE_NEW fails on any existing name, so nothing is overwritten.
    const HANDLE file =
        ::CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    bool ok = true;
    for (size_t done = 0; ok && done < size;) {
        DWORD written = 0;
        ok = ::WriteFile(file, data + done, DwordCount(size - done), &written, nullptr) != 0 &&
             written > 0;
        done += written;
    }
    ok = ::CloseHandle(file) != 0 && ok;
    if (!ok) {
        ::DeleteFileA(path);
    }
    return ok;
}

bool PathExists(const char* path) {
    return ::GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

bool IsSameFile(const char* first, const char* second) {
    BY_HANDLE_FILE_INFORMATION a;
    BY_HANDLE_FILE_INFORMATION b;
    if (!QueryIdentity(first, a) || !QueryIdentity(second, b)) {
        return false;
    }
    // A volume serial and a file index name one file, whichever path led to it.
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

bool IsStandardOutput(const char*) {
    return false;
}

}  // namespace tandrel
