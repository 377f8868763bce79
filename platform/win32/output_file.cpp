#include "platform/output_file.h"

#include "platform/replacement_file.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <string>

namespace tandrel {
namespace {

constexpr char kOverwrite[] = "names one of the inputs, which would be overwritten";

HANDLE AsHandle(intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

}  // namespace

// As "w+" would open it: text mode storing "\n" as CR LF, or binary.
bool OutputFile::OpenStream(intptr_t handle, Trouble& trouble) {
    const int fd = ::_open_osfhandle(handle, _O_RDWR | (binary_ ? _O_BINARY : _O_TEXT));
    stream_ = fd >= 0 ? ::_fdopen(fd, binary_ ? "w+b" : "w+t") : nullptr;
    if (stream_ == nullptr) {
        fd >= 0 ? ::_close(fd) : ::CloseHandle(AsHandle(handle));
        trouble.Set(path_, "cannot be opened for writing");
        return false;
    }
    return true;
}

bool OutputFile::NamesAnInput(intptr_t handle, std::span<const InputFile* const> inputs) {
    BY_HANDLE_FILE_INFORMATION written;
    if (!::GetFileInformationByHandle(AsHandle(handle), &written)) {
        return false;
    }
    for (const InputFile* input : inputs) {
        BY_HANDLE_FILE_INFORMATION info;
        // A volume serial and a file index name one file, whichever path led to it.
        if (input->handle_ != InputFile::kNoHandle &&
            ::GetFileInformationByHandle(AsHandle(input->handle_), &info) &&
            info.dwVolumeSerialNumber == written.dwVolumeSerialNumber &&
            info.nFileIndexHigh == written.nFileIndexHigh &&
            info.nFileIndexLow == written.nFileIndexLow) {
            return true;
        }
    }
    return false;
}

OutputFile::~OutputFile() {
    if (stream_ != nullptr) {
        std::fclose(stream_);
    }
    if (!newFile_.empty()) {
        ::DeleteFileA(newFile_.c_str());
    }
}

bool OutputFile::Open(const char* path, bool binary, bool asNewFile,
                      std::span<const InputFile* const> inputs, Trouble& trouble) {
    path_ = path;
    binary_ = binary;
    const DWORD attributes = ::GetFileAttributesA(path);
    if (asNewFile &&
        (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)) {
        // Opened for its identity only, past any sharing mode.
        const HANDLE existing =
            ::CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, 0, nullptr);
        if (existing != INVALID_HANDLE_VALUE) {
            const bool input = NamesAnInput(reinterpret_cast<intptr_t>(existing), inputs);
            ::CloseHandle(existing);
            if (input) {
                trouble.Set(path, kOverwrite);
                return false;
            }
        }
        target_ = path;
        const std::string_view name = FileNameOf(target_);
        const std::string pattern =
            target_.substr(0, target_.size() - name.size()) + ReplacementTemplate(name);
        // A name of its own, made anew until one is free.
        HANDLE file = INVALID_HANDLE_VALUE;
        for (unsigned attempt = 0; file == INVALID_HANDLE_VALUE && attempt < 100; ++attempt) {
            const unsigned suffix = (::GetTickCount() ^ (::GetCurrentProcessId() << 12)) + attempt;
            char tail[16];
            ::wsprintfA(tail, "%06X", suffix & 0xFFFFFF);
            newFile_ = pattern.substr(0, pattern.size() - 6) + tail;
            file = ::CreateFileA(newFile_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (file == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS) {
                break;
            }
        }
        if (file == INVALID_HANDLE_VALUE ||
            !OpenStream(reinterpret_cast<intptr_t>(file), trouble)) {
            if (file != INVALID_HANDLE_VALUE) {
                ::DeleteFileA(newFile_.c_str());
            }
            newFile_.clear();
            trouble.Set(path, "cannot be written");
            return false;
        }
        return true;
    }
    // The inputs are open with read sharing only, so opening one of them for writing fails here
    // already; the identity check covers what sharing does not.
    const HANDLE file =
        ::CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        trouble.Set(path, "cannot be opened for writing");
        return false;
    }
    if (NamesAnInput(reinterpret_cast<intptr_t>(file), inputs)) {
        ::CloseHandle(file);
        trouble.Set(path, kOverwrite);
        return false;
    }
    if (!::SetEndOfFile(file)) {
        ::CloseHandle(file);
        trouble.Set(path, "cannot be opened for writing");
        return false;
    }
    return OpenStream(reinterpret_cast<intptr_t>(file), trouble);
}

bool OutputFile::Close(Trouble& trouble, bool keep) {
    if (stream_ == nullptr) {
        return true;
    }
    bool ok = std::fflush(stream_) == 0;
    if (ok && !newFile_.empty() && keep) {
        ok = ::FlushFileBuffers(reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream_))));
    }
    ok = std::fclose(stream_) == 0 && ok;
    stream_ = nullptr;
    if (!newFile_.empty()) {
        ok = ok && (!keep || ::MoveFileExA(newFile_.c_str(), target_.c_str(),
                                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
        if (!ok || !keep) {
            ::DeleteFileA(newFile_.c_str());
        }
        newFile_.clear();
    }
    if (!ok) {
        trouble.Set(path_, "cannot be written whole");
    }
    return ok;
}

}  // namespace tandrel
