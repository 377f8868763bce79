#include "platform/chunk_buffer.h"

#include <cstdlib>

namespace tandrel {

ChunkBuffer::ChunkBuffer(size_t size)
    : data_(static_cast<uint8_t*>(std::calloc(size, 1))), size_(size) {}

ChunkBuffer::~ChunkBuffer() {
    std::free(data_);
}

}  // namespace tandrel
