// A file opened for sequential reading. On Windows it is shared for reading only, so that no
// other program can write to it while a comparison reads it; on Linux, where nothing stops a
// writer, it is watched for changes instead.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace tandrel {

class InputFile {
  public:
    InputFile() = default;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    ~InputFile() { Close(); }

    // False when the file cannot be opened or sized: missing, no permission, a directory, or
    // (on Linux) anything but a regular file or a block device. Never waits for a writer, as
    // opening a FIFO would.
    bool Open(const char* path);
    void Close();

    // The whole size in bytes, 64-bit, as it was when the file was opened: a block device's
    // size comes from the device.
    uint64_t Size() const { return size_; }
    // The size now, which on Linux another program may have changed since the file was opened;
    // false when it cannot be had.
    bool CurrentSize(uint64_t& size) const;
    // False once the file may have changed since it was opened: written, cut, grown, its times,
    // permissions or links set, renamed; anything that moves its status-change time (Linux;
    // always true on Windows, which shares it for reading only). A write that leaves size and
    // times as they were (within one tick of a coarse file clock) is seen through a watch set
    // before the file was sized (inotify); where none can be had (the per-user limits), size and
    // times alone tell. Not seen: a write to a block device through another node, a partition
    // or a file system mounted from it.
    bool UnchangedSinceOpen();

    // Reads up to count bytes at the current position into buffer and sets bytesRead to how
    // many arrived; fewer than count only at the end of the file. Returns false when the read
    // fails, with bytesRead 0.
    bool Read(void* buffer, size_t count, size_t& bytesRead);
    // Moves the read position to offset bytes from the start; false when it cannot be moved.
    bool Seek(uint64_t offset);

  private:
    friend class MappedWindow;

    static constexpr intptr_t kNoHandle = -1;
    intptr_t handle_ = kNoHandle;  // a file descriptor, or a Win32 HANDLE
    uint64_t size_ = 0;
    // Linux: an inotify descriptor watching the file, or -1 without one; the modification and
    // status-change times at opening, each as seconds and nanoseconds; whether a change was
    // seen, which holds once seen.
    int watch_ = -1;
    std::array<int64_t, 4> times_ = {};
    bool changed_ = false;
};

}  // namespace tandrel
