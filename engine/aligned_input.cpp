#include "engine/aligned_input.h"

#include <algorithm>
#include <cstring>

namespace tandrel {
namespace {

// Reads go ahead in steps small enough that what was read is compared while still in the cache.
constexpr size_t kReadStep = 262144;

}  // namespace

bool AlignedInput::Open(const char* path, uint64_t skip, uint64_t limit, size_t capacity,
                        Trouble& trouble) {
    path_ = path;
    if (!file_.Open(path, trouble)) {
        return false;
    }
    skip_ = std::min(skip, file_.Size());
    length_ = std::min(file_.Size() - skip_, limit);
    buffer_.emplace(static_cast<size_t>(std::clamp<uint64_t>(file_.Size(), 1, capacity)));
    if (buffer_->Data() == nullptr) {
        trouble.Set("", "not enough memory");
        return false;
    }
    return true;
}

bool AlignedInput::Have(uint64_t position, size_t want, size_t& available, Trouble& trouble) {
    const size_t capacity = buffer_->Size();
    want = std::min(want, capacity);
    const uint64_t wanted = std::min(length_, position + want);
    if (position >= base_ + filled_) {
        base_ = position;
        filled_ = 0;
    }
    if (wanted > base_ + filled_) {
        // What is still to be used moves to the front when the rest would not fit behind it.
        const auto dropped = static_cast<size_t>(position - base_);
        if (dropped + want > capacity) {
            std::memmove(buffer_->Data(), buffer_->Data() + dropped, filled_ - dropped);
            filled_ -= dropped;
            base_ = position;
        }
        const uint64_t target =
            std::min({length_, base_ + capacity, std::max(wanted, base_ + filled_ + kReadStep)});
        const auto ask = static_cast<size_t>(target - base_ - filled_);
        size_t got = 0;
        if (!file_.ReadAt(skip_ + base_ + filled_, buffer_->Data() + filled_, ask, got)) {
            trouble.Set(path_, "cannot be read");
            return false;
        }
        if (got < ask) {
            endedEarly_ = true;
            trouble.Set(path_,
                        "ended before its size (it changed while it was compared, or its size "
                        "is not its length)");
            return false;
        }
        if (!file_.UnchangedSinceOpen()) {
            trouble.Set(path_, "changed while it was compared");
            return false;
        }
        filled_ += got;
    }
    available = static_cast<size_t>(base_ + filled_ - position);
    return true;
}

}  // namespace tandrel
