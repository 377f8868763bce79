#include "platform/output_file.h"

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
}

bool OutputFile::Open(const char* path, bool binary, bool asNewFile,
                      std::span<const InputFile* const> inputs, Trouble& trouble) {
    path_ = path;
    binary_ = binary;
    const DWORD attributes = ::GetFileAttributesA(path);
    if (asNewFile &&
        (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)) {
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
        // The stream writes through a handle of its own; the replacement's is flushed at Close.
        HANDLE own = INVALID_HANDLE_VALUE;
        const HANDLE process = ::GetCurrentProcess();
        if (!::DuplicateHandle(process, AsHandle(replacement_.File().Handle()), process, &own, 0,
                               FALSE, DUPLICATE_SAME_ACCESS)) {
            trouble.Set(path, "cannot be opened for writing");
            return false;
        }
        replacing_ = true;
        return OpenStream(reinterpret_cast<intptr_t>(own), trouble);
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
    ok = std::fclose(stream_) == 0 && ok;
    stream_ = nullptr;
    if (!ok) {
        trouble.Set(path_, "cannot be written whole");
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
