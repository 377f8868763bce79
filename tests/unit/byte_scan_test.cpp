#include "engine/byte_scan.h"

#include <gtest/gtest.h>

#include <vector>

namespace tandrel {
namespace {

size_t NaiveMismatch(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, size_t from) {
    while (from < a.size() && a[from] == b[from]) {
        ++from;
    }
    return from;
}

size_t NaiveMatch(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, size_t from) {
    while (from < a.size() && a[from] != b[from]) {
        ++from;
    }
    return from;
}

// Every start and every single differing (or equal) position around the block and word sizes,
// so each path of the scans (block, word, tail) meets each boundary.
TEST(ByteScan, AgreesWithTheByteByByteScanAtEveryPosition) {
    for (size_t length : {0u, 1u, 7u, 8u, 9u, 1023u, 1024u, 1025u, 2100u}) {
        const std::vector<uint8_t> a(length, 0x5A);
        for (size_t position = 0; position <= length; ++position) {
            std::vector<uint8_t> oneDiffers = a;
            std::vector<uint8_t> oneEqual(length, 0xA5);
            if (position < length) {
                oneDiffers[position] = 0x5B;
                oneEqual[position] = 0x5A;
            }
            for (size_t from : {size_t{0}, position / 2, position}) {
                ASSERT_EQ(FindMismatch(a.data(), oneDiffers.data(), from, length),
                          NaiveMismatch(a, oneDiffers, from))
                    << length << " " << position << " " << from;
                ASSERT_EQ(FindMatch(a.data(), oneEqual.data(), from, length),
                          NaiveMatch(a, oneEqual, from))
                    << length << " " << position << " " << from;
            }
        }
    }
}

TEST(ByteScan, WordScanFindsZeroDifferencesNextToOtherBytes) {
    // Byte differences of 0x01 and 0x80 next to an equal byte are where the zero-byte trick can
    // misfire; it must still find the first equal byte exactly.
    for (uint8_t delta : {0x01, 0x80, 0xFF}) {
        for (size_t equalAt = 0; equalAt < 16; ++equalAt) {
            std::vector<uint8_t> a(16, 0x00);
            std::vector<uint8_t> b(16, delta);
            b[equalAt] = 0x00;
            EXPECT_EQ(FindMatch(a.data(), b.data(), 0, 16), equalAt) << int(delta);
        }
    }
}

}  // namespace
}  // namespace tandrel
