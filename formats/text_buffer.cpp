#include "formats/text_buffer.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>

namespace tandrel {
namespace {

using report_digits::kHexPairs;
using report_digits::kLowerHexPairs;

}  // namespace

bool TextBuffer::MakeRoom() {
    if (length_ < capacity_) {
        return true;
    }
    if (bounded_) {
        full_ = true;
        return false;
    }
    return Flush();
}

bool TextBuffer::AppendInParts(const char* text, size_t count) {
    while (count > 0) {
        if (!MakeRoom()) {
            return false;
        }
        const size_t part = std::min(count, capacity_ - length_);
        std::memcpy(buffer_ + length_, text, part);
        length_ += part;
        text += part;
        count -= part;
    }
    return !full_;
}

char* report_digits::FormatLongDecimal(char* out, uint64_t value) {
    char digits[20];
    size_t count = 0;
    do {
        digits[19 - count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    std::memcpy(out, digits + 20 - count, count);
    return out + count;
}

bool TextBuffer::AppendHexInParts(uint64_t value, bool lower) {
    char digits[16];
    return Append(digits, static_cast<size_t>(FormatHex(digits, value, lower) - digits));
}

bool TextBuffer::AppendDecimalInParts(uint64_t value) {
    char digits[20];
    return Append(digits, static_cast<size_t>(FormatDecimal(digits, value) - digits));
}

bool TextBuffer::AppendHexBytesInParts(const uint8_t* bytes, size_t count, bool separated,
                                       bool lower) {
    const char* const pairs = lower ? kLowerHexPairs.data() : kHexPairs.data();
    const size_t width = separated ? 3 : 2;
    while (count > 0) {
        if (!MakeRoom()) {
            return false;
        }
        // The last pair of a piece needs room for the space written after it, separated or not.
        const size_t fit = std::min(count, (capacity_ - length_ - (separated ? 0 : 1)) / width);
        if (fit == 0) {
            // Less room than one byte's text: go through Append, which cuts or flushes.
            const char text[3] = {pairs[*bytes * 2], pairs[*bytes * 2 + 1], ' '};
            if (!Append(text, width)) {
                return false;
            }
            ++bytes;
            --count;
            continue;
        }
        length_ = static_cast<size_t>(
            FormatHexBytes(buffer_ + length_, bytes, fit, separated, lower) - buffer_);
        bytes += fit;
        count -= fit;
    }
    return true;
}

char* TextBuffer::ReserveAfterFlush(size_t count) {
    if (bounded_ || count > capacity_ || !Flush()) {
        return nullptr;
    }
    return buffer_ + length_;
}

const char* TextBuffer::Text() {
    buffer_[length_] = '\0';
    return buffer_;
}

bool TextBuffer::Flush() {
    if (stream_ != nullptr && length_ > 0 && !writeFailed_ &&
        std::fwrite(buffer_, 1, length_, stream_) != length_) {
        // A full disk or a closed pipe: every later write would fail too.
        writeError_ = errno;
        writeFailed_ = true;
        full_ = true;
    }
    length_ = 0;
    return !writeFailed_;
}

}  // namespace tandrel
