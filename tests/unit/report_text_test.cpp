#include "engine/report_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace tandrel {
namespace {

TEST(HexDigit, CoversAllSixteenValues) {
    std::string digits;
    for (unsigned v = 0; v < 16; ++v) {
        digits += HexDigit(v);
    }
    EXPECT_EQ(digits, "0123456789ABCDEF");
}

std::string Bounded(size_t size, void (*fill)(ReportText&)) {
    std::vector<char> buffer(size + 8, '#');
    ReportText text = ReportText::Bounded(buffer.data(), size);
    fill(text);
    const std::string result = text.Text();
    // Nothing beyond the buffer was touched.
    for (size_t k = size; k < buffer.size(); ++k) {
        EXPECT_EQ(buffer[k], '#') << k;
    }
    return result;
}

TEST(ReportText, FormatsNumbersLikeTheCFormats) {
    struct Case {
        uint64_t value;
        const char* hex;
        const char* decimal;
    };
    const Case cases[] = {
        {0, "0", "0"},
        {9, "9", "9"},
        {10, "A", "10"},
        {0xFFFFFD, "FFFFFD", "16777213"},
        {0x100000005ULL, "100000005", "4294967301"},
        {UINT64_MAX, "FFFFFFFFFFFFFFFF", "18446744073709551615"},
    };
    for (const Case& c : cases) {
        std::vector<char> buffer(64);
        ReportText text = ReportText::Bounded(buffer.data(), buffer.size());
        text.AppendHex(c.value);
        text.Append("|");
        text.AppendDecimal(c.value);
        EXPECT_EQ(std::string(text.Text()), std::string(c.hex) + "|" + c.decimal);
    }
}

TEST(ReportText, HexBytesWithAndWithoutSeparator) {
    const uint8_t bytes[] = {0x00, 0x0F, 0xA5, 0xFF};
    std::vector<char> buffer(64);
    ReportText spaced = ReportText::Bounded(buffer.data(), buffer.size());
    spaced.AppendHexBytes(bytes, 4, true);
    EXPECT_EQ(std::string(spaced.Text()), "00 0F A5 FF ");
    ReportText packed = ReportText::Bounded(buffer.data(), buffer.size());
    packed.AppendHexBytes(bytes, 4, false);
    EXPECT_EQ(std::string(packed.Text()), "000FA5FF");
}

TEST(ReportText, BoundedTextIsCutAtTheBufferEnd) {
    // A buffer of 8 holds 7 characters and the zero; a cut may fall inside a byte's digits.
    EXPECT_EQ(Bounded(8, [](ReportText& t) { t.Append("abcdefghij"); }), "abcdefg");
    EXPECT_EQ(Bounded(8,
                      [](ReportText& t) {
                          const uint8_t b[] = {0xAB, 0xCD, 0xEF};
                          t.Append("x");
                          t.AppendHexBytes(b, 3, true);
                      }),
              "xAB CD ");
    EXPECT_EQ(Bounded(8,
                      [](ReportText& t) {
                          const uint8_t b[] = {0xAB, 0xCD, 0xEF, 0x12};
                          t.AppendHexBytes(b, 4, false);
                      }),
              "ABCDEF1");
    EXPECT_EQ(Bounded(8,
                      [](ReportText& t) {
                          EXPECT_TRUE(t.Append("1234567"));  // exactly full: still whole
                          EXPECT_TRUE(t.Append(""));         // nothing lost yet
                          EXPECT_FALSE(t.AppendDecimal(5));
                          EXPECT_TRUE(t.IsFull());
                      }),
              "1234567");
}

TEST(ReportText, StreamedTextGoesOutWholeThroughASmallBuffer) {
    test::TempDir dir;
    const std::string path = dir.File("out.bin");
    std::FILE* stream = std::fopen(path.c_str(), "wb");
    ASSERT_NE(stream, nullptr);
    std::vector<char> buffer(5, '#');
    ReportText text = ReportText::Streamed(buffer.data(), buffer.size(), stream);
    std::vector<uint8_t> bytes(100);
    std::string expected;
    for (size_t k = 0; k < bytes.size(); ++k) {
        bytes[k] = static_cast<uint8_t>(k * 7);
        static const char kDigits[] = "0123456789ABCDEF";
        expected += kDigits[bytes[k] >> 4];
        expected += kDigits[bytes[k] & 15];
        expected += ' ';
    }
    EXPECT_TRUE(text.Append("head:"));
    EXPECT_TRUE(text.AppendHexBytes(bytes.data(), bytes.size(), true));
    EXPECT_TRUE(text.AppendDecimal(1234567890));
    text.Flush();
    std::fclose(stream);
    EXPECT_EQ(test::ReadFileText(path), "head:" + expected + "1234567890");
}

TEST(ReportText, StreamedTextWithoutStreamDropsEverything) {
    std::vector<char> buffer(4);
    ReportText text = ReportText::Streamed(buffer.data(), buffer.size(), nullptr);
    EXPECT_TRUE(text.Append("more than four characters"));
    text.Flush();
    EXPECT_EQ(text.Length(), 0u);
}

}  // namespace
}  // namespace tandrel
