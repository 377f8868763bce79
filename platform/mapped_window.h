// A read-only view of one window of an input file, for comparing its pages in place. Only Linux
// maps files; elsewhere Map always fails and the caller reads the file instead.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/input_file.h"

namespace tandrel {

class MappedWindow {
  public:
    MappedWindow() = default;
    MappedWindow(const MappedWindow&) = delete;
    MappedWindow& operator=(const MappedWindow&) = delete;
    ~MappedWindow() { Unmap(); }

    // Maps size bytes of the file from offset and, unless the window is the whole file, advises
    // the system that they will be read once, in order; fewer (Size() tells how many, possibly
    // none) when the file ends before, having been cut shorter. False, with nothing
    // mapped, when the file cannot be mapped (a file system that refuses it, a device). Where
    // files map, an empty window always maps. A window that another program cuts short after this
    // raises SIGBUS when read past the file's new end: read it only under RunGuardedRead.
    bool Map(const InputFile& file, uint64_t offset, size_t size);
    void Unmap();
    // Gives back the pages of [begin, end) of the window, which stays mapped: reading them
    // again brings them back. Keeps what a comparison holds in memory to the part of the
    // window not yet compared.
    void Release(size_t begin, size_t end);
    const uint8_t* Data() const { return data_; }
    size_t Size() const { return size_; }
    // True when the file still reaches the window's end. A file cut short after mapping faults
    // only on whole pages past its new end: the rest of the page that holds its new end reads
    // as zeros, bytes the file never had. So what was read from a window counts only when this
    // holds afterwards.
    bool IsBacked(const InputFile& file) const;

    // Starts reading [offset, offset + size) of the file in the background, in large requests,
    // so that the window mapped there next finds its pages in memory.
    static void Prefetch(const InputFile& file, uint64_t offset, size_t size);

  private:
    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    uint64_t offset_ = 0;
    size_t lead_ = 0;  // bytes mapped before data_, from the start of its page
};

// Runs body(context) so that a SIGBUS from reading a mapped window ends the body (false) instead
// of the process. body is left by a jump: it must own nothing with a destructor and take no lock.
// Any other SIGBUS goes to the handler installed before, which is back in place afterwards.
bool RunGuardedRead(void (*body)(void*), void* context);

// Seam for the tests, for what cannot be made for real: both are null in the program. Only where
// files map (Linux).
struct MappingSeam {
    // Called before each window is mapped; false refuses the mapping as a file system would.
    bool (*allowMap)(uint64_t offset) = nullptr;
    // Called after each window is mapped, before anything reads it.
    void (*windowMapped)(uint64_t offset) = nullptr;
};
MappingSeam& TestMappingSeam();

}  // namespace tandrel
