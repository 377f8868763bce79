// A format's text built in a fixed buffer: kept whole for a box, or written out to a stream as it
// fills.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "formats/number_format.h"

namespace tandrel {

class TextBuffer {
  public:
    // A text for the result box: at most size - 1 characters, kept zero-terminated; what does not
    // fit is cut at the buffer's end.
    static TextBuffer Bounded(char* buffer, size_t size) {
        return TextBuffer(buffer, size - 1, nullptr, true);
    }
    // A text that goes to a report stream: whenever the buffer fills it is written out and
    // reused, so a record of any length goes out whole. A null stream drops the text. Once a
    // write fails nothing more is written, and appending returns false as for a full text.
    static TextBuffer Streamed(char* buffer, size_t size, std::FILE* stream) {
        return TextBuffer(buffer, size, stream, false);
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
    TextBuffer(char* buffer, size_t capacity, std::FILE* stream, bool bounded)
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
