// The lockstep of an aligned comparison over stretches where nothing is held in its buffers:
// both files compared in place in mapped windows, as the fixed-offset comparison compares them,
// rather than read into the buffers first.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/input_file.h"
#include "platform/trouble.h"

namespace tandrel {

enum class LockstepResult {
    kCompared,   // equal says how far the files agree
    kCannotMap,  // a window could not be mapped (Windows, or a file system that refuses)
    kFailed,     // a file was cut short or changed: trouble says which
};

// One file's side: the file, its name for trouble, and the offset to compare from.
struct LockstepSide {
    const InputFile* file;
    const char* path;
    uint64_t offset;
};

// Compares count bytes of both files from their offsets and sets equal to the bytes that agree
// before the first that differs (count when all do).
LockstepResult CompareMapped(const LockstepSide& first, const LockstepSide& second, size_t count,
                             size_t& equal, Trouble& trouble);

}  // namespace tandrel
