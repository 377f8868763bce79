// Report text built in a fixed buffer, with the number and hex formats records need.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

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

class ReportText {
  public:
    // A text for the result box: at most size - 1 characters, kept zero-terminated; what does not
    // fit is cut at the buffer's end.
    static ReportText Bounded(char* buffer, size_t size) {
        return ReportText(buffer, size - 1, nullptr, true);
    }
    // A text that goes to a report stream: whenever the buffer fills it is written out and
    // reused, so a record of any length goes out whole. A null stream drops the text. Once a
    // write fails nothing more is written, and appending returns false as for a full text.
    static ReportText Streamed(char* buffer, size_t size, std::FILE* stream) {
        return ReportText(buffer, size, stream, false);
    }

    // Each returns false once a bounded text is full; the part that fitted is kept. The usual
    // case, a short text with room left, stays inline: records are made of many such pieces.
    bool Append(const char* text, size_t count) {
        if (count <= capacity_ - length_) {
            std::memcpy(buffer_ + length_, text, count);
            length_ += count;
            return !full_;
        }
        return AppendInParts(text, count);
    }
    template <size_t N>
    bool Append(const char (&literal)[N]) {
        return Append(literal, N - 1);
    }
    bool AppendText(const char* text) { return Append(text, std::strlen(text)); }
    // Hexadecimal with no leading zeros ("%X", "%I64X"), lower case when asked. Each of these
    // three writes in place when the room is there: JSON Lines makes its records of them.
    bool AppendHex(uint64_t value, bool lower = false) {
        if (capacity_ - length_ >= 16) {
            length_ = static_cast<size_t>(FormatHex(buffer_ + length_, value, lower) - buffer_);
            return !full_;
        }
        return AppendHexInParts(value, lower);
    }
    bool AppendDecimal(uint64_t value) {
        if (capacity_ - length_ >= 20) {
            length_ = static_cast<size_t>(FormatDecimal(buffer_ + length_, value) - buffer_);
            return !full_;
        }
        return AppendDecimalInParts(value);
    }
    // Each byte as two hex digits, high nibble first, then a space when separated.
    bool AppendHexBytes(const uint8_t* bytes, size_t count, bool separated, bool lower = false) {
        // The last byte's text may write one character past it when unseparated.
        if (count < capacity_ && 3 * count + 1 <= capacity_ - length_) {
            length_ = static_cast<size_t>(
                FormatHexBytes(buffer_ + length_, bytes, count, separated, lower) - buffer_);
            return true;
        }
        return AppendHexBytesInParts(bytes, count, separated, lower);
    }

    // Room for count more characters at the end of the text, written out first when a streamed
    // text lacks it; null when a bounded text lacks it or a write has failed. What is written
    // there becomes part of the text through Commit.
    char* Reserve(size_t count) {
        if (count <= capacity_ - length_ && !full_) {
            return buffer_ + length_;
        }
        return ReserveAfterFlush(count);
    }
    void Commit(const char* end) { length_ = static_cast<size_t>(end - buffer_); }

    // A bounded text that took all it can, or a streamed one whose write failed: it takes no more.
    bool Full() const { return full_; }
    // The error number of the write to the stream that failed, or 0.
    int WriteError() const { return writeError_; }
    // The text so far, zero-terminated (a bounded text).
    const char* Text();
    // Writes a streamed text's buffer out and empties it; false once a write has failed.
    bool Flush();

  private:
    ReportText(char* buffer, size_t capacity, std::FILE* stream, bool bounded)
        : buffer_(buffer), capacity_(capacity), stream_(stream), bounded_(bounded) {}

    // Makes room for at least one more character; false when a bounded text is full.
    bool MakeRoom();
    bool AppendInParts(const char* text, size_t count);
    bool AppendHexInParts(uint64_t value, bool lower);
    bool AppendDecimalInParts(uint64_t value);
    bool AppendHexBytesInParts(const uint8_t* bytes, size_t count, bool separated, bool lower);
    char* ReserveAfterFlush(size_t count);

    char* buffer_;
    size_t capacity_;
    size_t length_ = 0;
    std::FILE* stream_;
    bool bounded_;
    bool full_ = false;
    bool writeFailed_ = false;
    int writeError_ = 0;
};

}  // namespace tandrel
