#include "platform/mapped_window.h"

namespace tandrel {

// Windows reads its inputs with ReadFile: nothing is mapped, so nothing can fault.

bool MappedWindow::Map(const InputFile&, uint64_t, size_t) {
    return false;
}

void MappedWindow::Unmap() {}

void MappedWindow::Release(size_t, size_t) {}

bool MappedWindow::IsBacked(const InputFile&) const {
    return true;
}

void MappedWindow::Prefetch(const InputFile&, uint64_t, size_t) {}

bool RunGuardedRead(void (*body)(void*), void* context) {
    body(context);
    return true;
}

}  // namespace tandrel
