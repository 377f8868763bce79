// JSON strings for the JSON Lines records: names of files, sections and fields.
#pragma once

#include <string_view>

#include "formats/text_buffer.h"

namespace tandrel {

// True when the bytes are valid UTF-8: no overlong forms, no surrogates, nothing past U+10FFFF.
bool IsValidUtf8(std::string_view bytes);

// Appends the bytes as a JSON string, quotes included: valid UTF-8 as it is, each byte that is not
// part of a valid sequence as U+FFFD, the quote, the backslash and the control characters (0x00
// to 0x1F and 0x7F) escaped. Every line of JSON Lines stays valid JSON whatever the bytes.
void AppendJsonString(TextBuffer& text, std::string_view bytes);

// Appends a name field: "key":"NAME", then, only when the name is not valid UTF-8 (so the string
// lost bytes to U+FFFD), "key_base64":"BYTES" with the exact bytes in standard base64, so a
// script can still open the file it is told about.
void AppendJsonName(TextBuffer& text, std::string_view key, std::string_view name);

}  // namespace tandrel
