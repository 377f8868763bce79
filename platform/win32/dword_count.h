// Win32 reads and writes take their byte counts as a DWORD; a larger request is made in parts.
#pragma once

#include <windows.h>

#include <cstddef>

namespace tandrel {

// The part of count that one call can take.
inline DWORD DwordCount(size_t count) {
    return count > MAXDWORD ? MAXDWORD : static_cast<DWORD>(count);
}

}  // namespace tandrel
