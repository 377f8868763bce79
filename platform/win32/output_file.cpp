#include "platform/output_file.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace tandrel {
namespace {

HANDLE AsHandle(intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

}  // namespace

bool OutputFile::NamesAnInput(intptr_t handle, std::span<const InputFile* const> inputs) {
    const HANDLE output = AsHandle(handle);
    BY_HANDLE_FILE_INFORMATION written;
    if (!::GetFileInformationByHandle(output, &written)) {
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

bool OutputFile::Open(const char* path, bool binary, std::span<const InputFile* const> inputs,
                      Trouble& trouble) {
    path_ = path;
    // The inputs are open with read sharing only, so opening one of them for writing fails here
    // already; the identity check covers what sharing does not (a device, another volume's view).
    const HANDLE file =
        ::CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        trouble.Set(path, "cannot be opened for writing");
        return false;
    }
    if (NamesAnInput(reinterpret_cast<intptr_t>(file), inputs)) {
        ::CloseHandle(file);
        trouble.Set(path, "names one of the inputs, which would be overwritten");
        return false;
    }
    // Opened as "w+" would open it: truncated, text mode storing "\n" as CR LF unless binary.
    const int fd = ::SetEndOfFile(file)
                       ? ::_open_osfhandle(reinterpret_cast<intptr_t>(file),
                                           _O_RDWR | (binary ? _O_BINARY : _O_TEXT))
                       : -1;
    stream_ = fd >= 0 ? ::_fdopen(fd, binary ? "w+b" : "w+t") : nullptr;
    if (stream_ == nullptr) {
        fd >= 0 ? ::_close(fd) : ::CloseHandle(file);
        trouble.Set(path, "cannot be opened for writing");
        return false;
    }
    return true;
}

bool OutputFile::Close(Trouble& trouble) {
    if (stream_ == nullptr) {
        return true;
    }
    const bool flushed = std::fflush(stream_) == 0;
    const bool closed = std::fclose(stream_) == 0;
    stream_ = nullptr;
    if (!flushed || !closed) {
        trouble.Set(path_, "cannot be written whole");
        return false;
    }
    return true;
}

}  // namespace tandrel
