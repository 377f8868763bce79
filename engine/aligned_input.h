// One input of an aligned comparison: its range read forward into a buffer of its own, so that
// the two files can be read at different offsets while the search looks ahead in each.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "platform/chunk_buffer.h"
#include "platform/input_file.h"
#include "platform/trouble.h"

namespace tandrel {

class AlignedInput {
  public:
    // Opens the file and takes its range: skip bytes passed over, then at most limit bytes. Holds
    // at most capacity bytes of it at once, and no more than the file's size.
    bool Open(const char* path, uint64_t skip, uint64_t limit, size_t capacity, Trouble& trouble);

    // Makes [position, position + want) of the range readable, or what of it the range holds,
    // and sets available to the bytes held from position on (at least that). Bytes before
    // position may be dropped; position never goes back, but may leap past what is held. False,
    // with the reason, when a read fails, the file ends before its size or it changed since it was
    // opened; nothing read is then to be used.
    bool Have(uint64_t position, size_t want, size_t& available, Trouble& trouble);
    // The bytes held from position on, without reading: 0 when position lies past them.
    size_t Held(uint64_t position) const {
        return position < base_ + filled_ ? static_cast<size_t>(base_ + filled_ - position) : 0;
    }
    // The bytes from position of the range, which Have made readable.
    const uint8_t* At(uint64_t position) const { return buffer_->Data() + (position - base_); }

    InputFile& File() { return file_; }
    const char* Path() const { return path_; }
    // The file offset of the range's start.
    uint64_t Skip() const { return skip_; }
    uint64_t Size() const { return file_.Size(); }
    uint64_t Length() const { return length_; }
    bool EndedEarly() const { return endedEarly_; }

  private:
    InputFile file_;
    const char* path_ = "";
    std::optional<ChunkBuffer> buffer_;
    uint64_t skip_ = 0;
    uint64_t length_ = 0;
    uint64_t base_ = 0;  // the range position of the buffer's first byte
    size_t filled_ = 0;
    bool endedEarly_ = false;
};

}  // namespace tandrel
