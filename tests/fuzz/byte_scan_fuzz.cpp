// The word and block scans against the plain byte loop, on any pair of ranges.
#include <cstdint>
#include <vector>

#include "engine/byte_scan.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const size_t half = size / 2;
    // Exact-size copies, so a read past either range is an AddressSanitizer report.
    const std::vector<uint8_t> a(data, data + half);
    const std::vector<uint8_t> b(data + half, data + 2 * half);
    size_t i = 0;
    while (i < half) {
        size_t expected = i;
        while (expected < half && a[expected] == b[expected]) {
            ++expected;
        }
        if (tandrel::FindMismatch(a.data(), b.data(), i, half) != expected) {
            __builtin_trap();
        }
        if (expected == half) {
            break;
        }
        size_t end = expected + 1;
        while (end < half && a[end] != b[end]) {
            ++end;
        }
        if (tandrel::FindMatch(a.data(), b.data(), expected + 1, half) != end) {
            __builtin_trap();
        }
        i = end + 1;
    }
    return 0;
}
