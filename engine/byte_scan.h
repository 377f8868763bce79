// Finding where two byte ranges start or stop differing, many bytes at a time.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tandrel {

// The first index in [from, end) where a and b differ, or end when they are equal throughout.
size_t FindMismatch(const uint8_t* a, const uint8_t* b, size_t from, size_t end);

// The first index in [from, end) where a and b are equal, or end when they differ throughout.
size_t FindMatch(const uint8_t* a, const uint8_t* b, size_t from, size_t end);

}  // namespace tandrel
