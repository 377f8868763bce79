// A zero-filled read buffer owned by one comparison and released when it goes out of scope.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tandrel {

class ChunkBuffer {
  public:
    // Data() is null when the allocation failed.
    explicit ChunkBuffer(size_t size);
    ChunkBuffer(const ChunkBuffer&) = delete;
    ChunkBuffer& operator=(const ChunkBuffer&) = delete;
    ~ChunkBuffer();

    uint8_t* Data() const { return data_; }
    size_t Size() const { return data_ ? size_ : 0; }

  private:
    uint8_t* data_ = nullptr;
    size_t size_ = 0;
};

}  // namespace tandrel
