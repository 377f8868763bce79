#include <gtest/gtest.h>

#include <string>

#include "formats/json_text.h"

namespace tandrel {
namespace {

// What the writer makes of the bytes, through the bounded text the dialog also uses.
template <typename Write>
std::string Written(Write write) {
    char buffer[512];
    TextBuffer text = TextBuffer::Bounded(buffer, sizeof buffer);
    write(text);
    return text.Text();
}

std::string JsonString(const std::string& bytes) {
    return Written([&](TextBuffer& text) { AppendJsonString(text, bytes); });
}

// U+FFFD in UTF-8, as each byte that is no part of a valid sequence becomes.
#define R "\xEF\xBF\xBD"

TEST(JsonString, EscapesWhatJsonNeedsAndReplacesEveryInvalidByte) {
    const std::pair<std::string, std::string> cases[] = {
        {"", "\"\""},
        {"a\\b", "\"a\\\\b\""},
        {"say \"hi\"", "\"say \\\"hi\\\"\""},
        {"two\nlines\r\n\tend", "\"two\\nlines\\r\\n\\tend\""},
        {std::string("\0x", 2), "\"\\u0000x\""},
        {"\x01\x08\x0B\x0C\x1B\x1F", "\"\\u0001\\u0008\\u000b\\u000c\\u001b\\u001f\""},
        {"del\x7F", "\"del\\u007f\""},
        {" ~/", "\" ~/\""},
        // Valid sequences of two, three and four bytes, the highest code point among them.
        {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9D\x84\x9E \xF4\x8F\xBF\xBF",
         "\"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9D\x84\x9E \xF4\x8F\xBF\xBF\""},
        {"\xC2\x80\xDF\xBF", "\"\xC2\x80\xDF\xBF\""},
        // Overlong forms of "/" and of U+07FF, surrogates, past U+10FFFF, lone bytes.
        {"\xC0\xAF", "\"" R R "\""},
        {"\xC1\xBF", "\"" R R "\""},
        {"\xE0\x80\xAF", "\"" R R R "\""},
        {"\xE0\x9F\xBF", "\"" R R R "\""},
        {"\xF0\x80\x80\xAF", "\"" R R R R "\""},
        {"\xED\xA0\x80", "\"" R R R "\""},
        {"\xED\xBF\xBF", "\"" R R R "\""},
        {"\xF4\x90\x80\x80", "\"" R R R R "\""},
        {"\xFF\xFE\xF5\xF8", "\"" R R R R "\""},
        {"caf\xE9.bin", "\"caf" R ".bin\""},
        {"\x80x", "\"" R "x\""},
        // Cut short at the end, and by an ASCII byte or a new lead byte.
        {"\xE2\x82", "\"" R R "\""},
        {"\xE2\x82"
         "A",
         "\"" R R "A\""},
        {"\xF0\x9D\x84", "\"" R R R "\""},
        {"\xC3\xC3\xA9", "\"" R "\xC3\xA9\""},
        {"\xC3\n", "\"" R "\\n\""},
    };
    for (const auto& [bytes, json] : cases) {
        EXPECT_EQ(JsonString(bytes), json) << bytes;
    }
}

// Every control byte is escaped (a six-character escape but for the three usual ones), and no
// raw control byte reaches the line.
TEST(JsonString, EscapesEveryControlByte) {
    for (int byte = 0; byte <= 0x7F; byte = byte == 0x1F ? 0x7F : byte + 1) {
        const std::string json = JsonString(std::string(1, static_cast<char>(byte)));
        const bool shortForm = byte == '\n' || byte == '\r' || byte == '\t';
        EXPECT_EQ(json.size(), shortForm ? 4u : 8u) << byte;
        EXPECT_EQ(json.substr(0, 2), "\"\\") << byte;
        EXPECT_EQ(json.find(static_cast<char>(byte)), std::string::npos) << byte;
    }
}

TEST(JsonName, AddsTheExactBytesOnlyWhenTheWholeNameIsNotUtf8) {
    const std::pair<std::string, std::string> cases[] = {
        {"a.bin", "\"path\":\"a.bin\""},
        {"caf\xC3\xA9.bin", "\"path\":\"caf\xC3\xA9.bin\""},
        {"new\nline \"q\"", "\"path\":\"new\\nline \\\"q\\\"\""},
        {"caf\xE9.bin", "\"path\":\"caf" R ".bin\",\"path_base64\":\"Y2Fm6S5iaW4=\""},
        {"\xFF", "\"path\":\"" R "\",\"path_base64\":\"/w==\""},
        {"a\xC0\xAF", "\"path\":\"a" R R "\",\"path_base64\":\"YcCv\""},
        {"\xED\xA0\x80z", "\"path\":\"" R R R "z\",\"path_base64\":\"7aCAeg==\""},
        // Judged over the whole name: its end, and past a NUL.
        {"", "\"path\":\"\""},
        {"plain \xC3", "\"path\":\"plain " R "\",\"path_base64\":\"cGxhaW4gww==\""},
        {"\xEF\xBF", "\"path\":\"" R R "\",\"path_base64\":\"778=\""},
        {std::string("\xC3\xA9\0\xA9", 4),
         "\"path\":\"\xC3\xA9\\u0000" R "\",\"path_base64\":\"w6kAqQ==\""},
    };
    for (const auto& [name, json] : cases) {
        EXPECT_EQ(Written([&](TextBuffer& text) { AppendJsonName(text, "path", name); }), json)
            << name;
    }
    EXPECT_EQ(Written([](TextBuffer& text) { AppendJsonName(text, "second_path", "\xFE"); }),
              "\"second_path\":\"" R "\",\"second_path_base64\":\"/g==\"");
}

#undef R

}  // namespace
}  // namespace tandrel
