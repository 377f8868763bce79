// The program's one set of number formatters: hexadecimal and decimal written straight into a
// buffer with room for their text (each returns the end of what it wrote), and the hex text of a
// number for messages.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace tandrel {

namespace report_digits {

// 0 to 9 give '0' to '9', 10 to 15 give 'A' to 'F' (or 'a' to 'f').
constexpr char HexDigit(unsigned value, bool lower) {
    return static_cast<char>(value < 10 ? '0' + value : (lower ? 'a' : 'A') + (value - 10));
}

// Two digits per byte value, so a byte is formatted with one table load.
constexpr std::array<char, 512> MakeHexPairs(bool lower) {
    std::array<char, 512> pairs{};
    for (unsigned value = 0; value < 256; ++value) {
        pairs[value * 2] = HexDigit(value >> 4, lower);
        pairs[value * 2 + 1] = HexDigit(value & 15, lower);
    }
    return pairs;
}

inline constexpr std::array<char, 512> kHexPairs = MakeHexPairs(false);
inline constexpr std::array<char, 512> kLowerHexPairs = MakeHexPairs(true);

char* FormatLongDecimal(char* out, uint64_t value);

}  // namespace report_digits

// Formatters that write straight into a buffer with room for their text; each returns the end
// of what it wrote. Hexadecimal with no leading zeros ("%X", "%I64X"; "%llx" when lower),
// decimal, and bytes as two hex digits each, high nibble first, then a space when separated.
// Inline: a dense report formats a million records, a few numbers each.
inline char* FormatHex(char* out, uint64_t value, bool lower = false) {
    // The digits a value needs from its highest set bit, then two at a time from the end.
    const auto digits = static_cast<size_t>((67 - std::countl_zero(value | 1)) / 4);
    const char* const pairs =
        lower ? report_digits::kLowerHexPairs.data() : report_digits::kHexPairs.data();
    char* const end = out + digits;
    char* at = end;
    for (; at - out >= 2; value >>= 8) {
        at -= 2;
        std::memcpy(at, &pairs[(value & 0xFF) * 2], 2);
    }
    if (at > out) {
        *out = pairs[(value & 0xF) * 2 + 1];
    }
    return end;
}

inline char* FormatDecimal(char* out, uint64_t value) {
    if (value < 10) {
        *out = static_cast<char>('0' + value);  // most runs are short
        return out + 1;
    }
    return report_digits::FormatLongDecimal(out, value);
}

// Unseparated, the place after the last pair is written too: give it room for three a byte.
inline char* FormatHexBytes(char* out, const uint8_t* bytes, size_t count, bool separated,
                            bool lower = false) {
    const char* const pairs =
        lower ? report_digits::kLowerHexPairs.data() : report_digits::kHexPairs.data();
    const size_t width = separated ? 3 : 2;
    for (size_t k = 0; k < count; ++k) {
        std::memcpy(out, &pairs[bytes[k] * 2], 2);
        out[2] = ' ';
        out += width;
    }
    return out;
}

// Exactly digits upper-case hex digits, leading zeros kept (a patch's fixed-width offsets).
inline char* FormatHexWidth(char* out, uint64_t value, int digits) {
    for (int k = digits - 1; k >= 0; --k) {
        *out++ = report_digits::kHexPairs[((value >> (4 * k)) & 15) * 2 + 1];
    }
    return out;
}

// The value in upper-case hex with no leading zeros, as messages spell offsets after "0x".
inline std::string HexText(uint64_t value) {
    char digits[16];
    return std::string(digits, FormatHex(digits, value));
}

}  // namespace tandrel
