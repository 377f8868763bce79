#include "engine/byte_scan.h"

#include <bit>
#include <cstring>

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

// Compares at most words whole words from i on: true with i at the first differing byte, or
// false with i past the equal words.
bool MismatchInWords(const uint8_t* a, const uint8_t* b, size_t& i, size_t end, size_t words) {
    for (; words > 0 && end - i >= 8; --words, i += 8) {
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
    // Differences often lie close together: a few words first, before a block's call.
    if (MismatchInWords(a, b, i, end, 8)) {
        return i;
    }
    while (end - i >= kBlock && std::memcmp(a + i, b + i, kBlock) == 0) {
        i += kBlock;
    }
    if (MismatchInWords(a, b, i, end, kBlock / 8)) {
        return i;
    }
    while (i < end && a[i] == b[i]) {
        ++i;
    }
    return i;
}

size_t FindMatch(const uint8_t* a, const uint8_t* b, size_t from, size_t end) {
    size_t i = from;
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
