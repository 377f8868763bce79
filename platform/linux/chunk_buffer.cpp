#include "platform/chunk_buffer.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>

namespace tandrel {

ChunkBuffer::ChunkBuffer(size_t size)
    : data_(static_cast<uint8_t*>(std::calloc(size, 1))), size_(size) {}

ChunkBuffer::~ChunkBuffer() {
    std::free(data_);
}

void ChunkBuffer::ReleasePages() {
    if (data_ == nullptr) {
        return;
    }
    // Only whole pages inside the buffer; they read as zeros when touched again.
    const auto page = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(data_) + page - 1) / page * page;
    const uintptr_t end = (reinterpret_cast<uintptr_t>(data_) + size_) / page * page;
    if (begin < end) {
        ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_DONTNEED);
    }
}

}  // namespace tandrel
