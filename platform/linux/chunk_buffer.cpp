#include "platform/chunk_buffer.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>

namespace tandrel {
namespace {

constexpr size_t kHugePage = 2097152;

// Buffers this large are mapped, so that all but their first huge page can be backed by huge
// pages: a pair that differs throughout touches every page of its chunk buffers, and a fault per
// 4 KiB cost more than their copying. Small pairs touch only the first huge page's small ones.
bool Mapped(size_t size) {
    return size >= 2 * kHugePage;
}

uint8_t* MapAligned(size_t size) {
    void* const raw = ::mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE,
                             MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) {
        return nullptr;
    }
    auto* const start = static_cast<uint8_t*>(raw);
    const auto address = reinterpret_cast<uintptr_t>(raw);
    const size_t lead = (kHugePage - address % kHugePage) % kHugePage;
    if (lead > 0) {
        ::munmap(start, lead);
    }
    ::munmap(start + lead + size, kHugePage - lead);
    uint8_t* const data = start + lead;
    ::madvise(data + kHugePage, size - kHugePage, MADV_HUGEPAGE);
    return data;
}

}  // namespace

ChunkBuffer::ChunkBuffer(size_t size)
    : data_(Mapped(size) ? MapAligned(size) : static_cast<uint8_t*>(std::calloc(size, 1))),
      size_(size) {}

ChunkBuffer::~ChunkBuffer() {
    if (Mapped(size_)) {
        if (data_ != nullptr) {
            ::munmap(data_, size_);
        }
    } else {
        std::free(data_);
    }
}

}  // namespace tandrel
