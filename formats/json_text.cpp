#include "formats/json_text.h"

#include <cstdint>

namespace tandrel {
namespace {

// The length of the valid UTF-8 sequence at p (at most left bytes), or 0 when there is none.
size_t Utf8SequenceLength(const unsigned char* p, size_t left) {
    const unsigned char lead = p[0];
    if (lead < 0x80) {
        return 1;
    }
    size_t length = 0;
    uint32_t lowest = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        lowest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        lowest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        lowest = 0x10000;
    } else {
        return 0;
    }
    if (left < length) {
        return 0;
    }
    uint32_t code = lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
        if ((p[k] & 0xC0) != 0x80) {
            return 0;
        }
        code = code << 6 | (p[k] & 0x3F);
    }
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    return code >= lowest && code <= 0x10FFFF && !surrogate ? length : 0;
}

void AppendEscape(TextBuffer& text, unsigned char byte) {
    switch (byte) {
        case '"':
            text.Append("\\\"");
            return;
        case '\\':
            text.Append("\\\\");
            return;
        case '\n':
            text.Append("\\n");
            return;
        case '\r':
            text.Append("\\r");
            return;
        case '\t':
            text.Append("\\t");
            return;
        default: {
            // FormatHexBytes may write a separator after the pair: one place more.
            char escape[7] = {'\\', 'u', '0', '0'};
            FormatHexBytes(escape + 4, &byte, 1, false, true);
            text.Append(escape, 6);
        }
    }
}

bool NeedsEscape(unsigned char byte) {
    return byte < 0x20 || byte == 0x7F || byte == '"' || byte == '\\';
}

void AppendBase64(TextBuffer& text, std::string_view bytes) {
    const char* const alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    for (size_t k = 0; k < bytes.size(); k += 3) {
        const size_t left = bytes.size() - k;
        const uint32_t group = uint32_t{p[k]} << 16 | (left > 1 ? uint32_t{p[k + 1]} << 8 : 0) |
                               (left > 2 ? p[k + 2] : 0);
        const char quad[4] = {alphabet[group >> 18], alphabet[group >> 12 & 63],
                              left > 1 ? alphabet[group >> 6 & 63] : '=',
                              left > 2 ? alphabet[group & 63] : '='};
        text.Append(quad, sizeof quad);
    }
}

}  // namespace

bool IsValidUtf8(std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    for (size_t left = bytes.size(), length = 0; left > 0; p += length, left -= length) {
        if ((length = Utf8SequenceLength(p, left)) == 0) {
            return false;
        }
    }
    return true;
}

void AppendJsonString(TextBuffer& text, std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    text.Append("\"");
    for (size_t left = bytes.size(), length = 0; left > 0; p += length, left -= length) {
        length = Utf8SequenceLength(p, left);
        if (length == 0) {
            length = 1;
            text.Append("\xEF\xBF\xBD");  // U+FFFD
        } else if (length == 1 && NeedsEscape(*p)) {
            AppendEscape(text, *p);
        } else {
            text.Append(reinterpret_cast<const char*>(p), length);
        }
    }
    text.Append("\"");
}

void AppendJsonName(TextBuffer& text, std::string_view key, std::string_view name) {
    text.Append("\"");
    text.Append(key.data(), key.size());
    text.Append("\":");
    AppendJsonString(text, name);
    if (!IsValidUtf8(name)) {
        text.Append(",\"");
        text.Append(key.data(), key.size());
        text.Append("_base64\":\"");
        AppendBase64(text, name);
        text.Append("\"");
    }
}

}  // namespace tandrel
