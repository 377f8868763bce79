#include "engine/mapped_lockstep.h"

#include <algorithm>

#include "engine/byte_scan.h"
#include "platform/mapped_window.h"

namespace tandrel {
namespace {

// Compared parts of the windows are given back in steps of this size, so that what the
// comparison holds in memory stays near its buffers whatever the file sizes.
constexpr size_t kReleaseStep = 4194304;

// Plain data only: a fault leaves the scan by a jump.
struct MappedScan {
    MappedWindow* windows[2];
    size_t length;
    size_t equal;
};

void ScanMapped(void* context) {
    auto& scan = *static_cast<MappedScan*>(context);
    const uint8_t* const a = scan.windows[0]->Data();
    const uint8_t* const b = scan.windows[1]->Data();
    for (size_t at = 0; at < scan.length; at += kReleaseStep) {
        const size_t end = std::min(scan.length, at + kReleaseStep);
        const size_t mismatch = FindMismatch(a, b, at, end);
        if (mismatch < end) {
            scan.equal = mismatch;
            return;
        }
        scan.windows[0]->Release(at, end);
        scan.windows[1]->Release(at, end);
    }
    scan.equal = scan.length;
}

}  // namespace

LockstepResult CompareMapped(const LockstepSide& first, const LockstepSide& second, size_t count,
                             size_t& equal, Trouble& trouble) {
    equal = 0;
    const LockstepSide* const sides[2] = {&first, &second};
    MappedWindow windows[2];
    for (int k = 0; k < 2; ++k) {
        if (!windows[k].Map(*sides[k]->file, sides[k]->offset, count)) {
            return LockstepResult::kCannotMap;
        }
    }
    for (int k = 0; k < 2; ++k) {
        if (windows[k].Size() < count) {
            trouble.Set(sides[k]->path,
                        "ended before its size (it changed while it was compared, or its size "
                        "is not its length)");
            return LockstepResult::kFailed;
        }
    }
    // The next stretch is read ahead while this one is compared.
    for (const LockstepSide* side : sides) {
        const uint64_t size = side->file->Size();
        const uint64_t next = side->offset + count;
        if (next < size) {
            MappedWindow::Prefetch(*side->file, next,
                                   static_cast<size_t>(std::min<uint64_t>(size - next, count)));
        }
    }
    MappedScan scan = {{&windows[0], &windows[1]}, count, 0};
    const bool finished = RunGuardedRead(ScanMapped, &scan);
    for (int k = 0; k < 2; ++k) {
        // A file cut short under its window may have shown zeros it no longer holds.
        if (!finished || !windows[k].IsBacked(*sides[k]->file) ||
            !sides[k]->file->UnchangedSinceOpen()) {
            trouble.Set(sides[k]->path, "changed while it was compared");
            return LockstepResult::kFailed;
        }
    }
    equal = scan.equal;
    return LockstepResult::kCompared;
}

}  // namespace tandrel
