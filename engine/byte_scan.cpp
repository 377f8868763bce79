#include "engine/byte_scan.h"

#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tandrel {
namespace {

static_assert(std::endian::native == std::endian::little,
              "the word scans below take the lowest address as the lowest byte");

// memcmp of a whole block is the fastest equality test the C library offers (it is vectorised);
// the block only has to be large enough to hide the call.
constexpr size_t kBlock = 1024;
constexpr uint64_t kLowBits = 0x0101010101010101ULL;
constexpr uint64_t kHighBits = 0x8080808080808080ULL;

uint64_t Load(const uint8_t* p) {
    uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return word;
}

// Index of the lowest zero byte of a word that has one. The borrow trick can flag bytes above
// the first zero byte falsely, never below it, so the lowest flag is exact.
size_t LowestZeroByte(uint64_t word) {
    const uint64_t flags = (word - kLowBits) & ~word & kHighBits;
    return static_cast<size_t>(std::countr_zero(flags)) / 8;
}

#if defined(__SSE2__)
constexpr size_t kStep = 16;

// One bit per byte of the 16 from i on, set where a and b are equal.
unsigned EqualBits(const uint8_t* a, const uint8_t* b, size_t i) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i));
    const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i));
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(x, y)));
}

// Compares at most steps whole vectors from i on: true with i at the first differing byte, or
// false with i past the equal vectors.
bool MismatchInSteps(const uint8_t* a, const uint8_t* b, size_t& i, size_t end, size_t steps) {
    for (; steps > 0 && end - i >= kStep; --steps, i += kStep) {
        const unsigned equal = EqualBits(a, b, i);
        if (equal != 0xFFFF) {
            i += static_cast<size_t>(std::countr_zero(~equal));
            return true;
        }
    }
    return false;
}
#else
constexpr size_t kStep = 8;

bool MismatchInSteps(const uint8_t* a, const uint8_t* b, size_t& i, size_t end, size_t steps) {
    for (; steps > 0 && end - i >= kStep; --steps, i += kStep) {
        const uint64_t diff = Load(a + i) ^ Load(b + i);
        if (diff != 0) {
            i += static_cast<size_t>(std::countr_zero(diff)) / 8;
            return true;
        }
    }
    return false;
}
#endif

// The same a word at a time, for what is left after the vectors.
bool MismatchInWords(const uint8_t* a, const uint8_t* b, size_t& i, size_t end) {
    for (; end - i >= 8; i += 8) {
        const uint64_t diff = Load(a + i) ^ Load(b + i);
        if (diff != 0) {
            i += static_cast<size_t>(std::countr_zero(diff)) / 8;
            return true;
        }
    }
    return false;
}

}  // namespace

size_t FindMismatch(const uint8_t* a, const uint8_t* b, size_t from, size_t end) {
    size_t i = from;
    // Differences often lie close together: 64 bytes first, before a block's call.
    if (MismatchInSteps(a, b, i, end, 64 / kStep)) {
        return i;
    }
    while (end - i >= kBlock && std::memcmp(a + i, b + i, kBlock) == 0) {
        i += kBlock;
    }
    if (MismatchInSteps(a, b, i, end, kBlock / kStep) || MismatchInWords(a, b, i, end)) {
        return i;
    }
    while (i < end && a[i] == b[i]) {
        ++i;
    }
    return i;
}

size_t FindMatch(const uint8_t* a, const uint8_t* b, size_t from, size_t end) {
    size_t i = from;
#if defined(__SSE2__)
    for (; end - i >= kStep; i += kStep) {
        if (const unsigned equal = EqualBits(a, b, i); equal != 0) {
            return i + static_cast<size_t>(std::countr_zero(equal));
        }
    }
#endif
    while (end - i >= 8) {
        const uint64_t diff = Load(a + i) ^ Load(b + i);
        if (((diff - kLowBits) & ~diff & kHighBits) != 0) {
            return i + LowestZeroByte(diff);
        }
        i += 8;
    }
    while (i < end && a[i] != b[i]) {
        ++i;
    }
    return i;
}

}  // namespace tandrel
