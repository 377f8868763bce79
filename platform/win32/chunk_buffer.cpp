#include "platform/chunk_buffer.h"

#include <windows.h>

namespace tandrel {

// GMEM_ZEROINIT gives fixed, zero-filled memory, so the handle is the buffer's address.
ChunkBuffer::ChunkBuffer(size_t size)
    : data_(static_cast<uint8_t*>(::GlobalAlloc(GMEM_ZEROINIT, size))), size_(size) {}

ChunkBuffer::~ChunkBuffer() {
    if (data_ != nullptr) {
        ::GlobalFree(data_);
    }
}

}  // namespace tandrel
