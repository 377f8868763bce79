// A file opened for reading. On Windows it is shared for reading only, so that no
// other program can write to it while a comparison reads it; on Linux, where nothing stops a
// writer, it is watched for changes instead.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/trouble.h"

namespace tandrel {

class InputFile {
  public:
    InputFile() = default;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    ~InputFile();

    // False when the file cannot be opened or sized: missing, no permission, a directory, or
    // (on Linux) anything but a regular file or a block device; trouble says which. Never waits
    // for a writer, as opening a FIFO would.
    bool Open(const char* path, Trouble& trouble);
    void Close();

    // The whole size in bytes, 64-bit, as it was when the file was opened: a block device's
    // size comes from the device.
    uint64_t Size() const { return size_; }
    // The size now, which on Linux another program may have changed since the file was opened;
    // false when it cannot be had.
    bool CurrentSize(uint64_t& size) const;
    // False once the file may have changed since it was opened (Linux; Windows shares it for
    // reading only): its size and times, and an inotify watch where times may not tell. A write
    // to a block device through another node is not seen.
    bool UnchangedSinceOpen() const;

    // Reads up to count bytes from offset into buffer and sets bytesRead to how many arrived;
    // fewer than count only at the end of the file. Returns false when the read fails, with
    // bytesRead 0. Reads are positional: nothing depends on a read position.
    bool ReadAt(uint64_t offset, void* buffer, size_t count, size_t& bytesRead) const;

  private:
    friend class MappedWindow;
    friend class OutputFile;

    static constexpr intptr_t kNoHandle = -1;
    intptr_t handle_ = kNoHandle;  // a file descriptor, or a Win32 HANDLE
    uint64_t size_ = 0;
    // Linux: the inotify descriptor (-1: none), kept from file to file once made, since each
    // one's teardown waits for the kernel (some milliseconds); the watch on the file open now
    // (-1: none); the modification and change times at opening (seconds, nanoseconds), and
    // whether a change was seen.
    int watch_ = -1;
    int watched_ = -1;
    std::array<int64_t, 4> times_ = {};
    mutable bool changed_ = false;  // once seen, it holds
};

}  // namespace tandrel
