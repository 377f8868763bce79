#include "platform/replacement_file.h"

#include <windows.h>

#include "platform/win32/dword_count.h"
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

}  // namespace

ReplacementFile::~ReplacementFile() {
    if (target_ != NewFile::kNoHandle) {
        ::CloseHandle(AsHandle(target_));
    }
}

bool ReplacementFile::OpenTarget(const char* target, const char* output, Trouble& trouble) {
    targetPath_ = target;
    outputPath_ = output ? output : "";
    replacing_ = !output;
    standardOutput_ = output && outputPath_ == "-";
    if (replacing_) {
        if (!replacement_.OpenTarget(targetPath_, true, trouble)) {
            return false;
        }
        size_ = replacement_.Identity().size;
        return true;
    }
    // Sharing for reading only: no other program writes to TARGET while it is read.
    const HANDLE file = ::CreateFileA(target, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return Fail(trouble, targetPath_, WindowsReason(::GetLastError()));
    }
    target_ = reinterpret_cast<intptr_t>(file);
    BY_HANDLE_FILE_INFORMATION info;
    if (::GetFileType(file) != FILE_TYPE_DISK || !::GetFileInformationByHandle(file, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return Fail(trouble, targetPath_, "not a regular file");
    }
    size_ = uint64_t{info.nFileSizeHigh} << 32 | info.nFileSizeLow;
    if (standardOutput_ && ::GetStdHandle(STD_OUTPUT_HANDLE) == nullptr) {
        return Fail(trouble, "standard output", "a GUI program started without one has none");
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
        if (!::ReadFile(AsHandle(Target()), out + done, DwordCount(count - done), &got, &at) &&
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
    if (replacing_) {
        return replacement_.Create(trouble);
    }
    return standardOutput_ || output_.Create(outputPath_, 0, trouble);
}

bool ReplacementFile::Write(const void* data, size_t count, Trouble& trouble) {
    if (!standardOutput_) {
        return (replacing_ ? replacement_.File() : output_).Write(data, count, trouble);
    }
    const auto* in = static_cast<const char*>(data);
    for (size_t done = 0; done < count;) {
        DWORD written = 0;
        if (!::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), in + done, DwordCount(count - done),
                         &written, nullptr) ||
            written == 0) {
            return Fail(trouble, "standard output", WindowsReason(::GetLastError()));
        }
        done += written;
    }
    return true;
}

bool ReplacementFile::Commit(Trouble& trouble) {
    if (replacing_) {
        return replacement_.Commit(trouble);
    }
    if (standardOutput_) {
        return true;
    }
    if (!output_.FlushAndClose(trouble)) {
        return false;
    }
    output_.Keep();
    return true;
}

}  // namespace tandrel
