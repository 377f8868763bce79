// Texts through the port: GetWindowTextA's bounds, 8-bit lengths and exact bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/qt/dialog_under_test.h"

namespace tandrel {
namespace {

using test::DialogUnderTest;

// At most maxCount - 1 bytes and a zero; the count copied is returned; bytes after the zero
// are never touched.
TEST(HostText, CopiesWithinTheBounds) {
    DialogUnderTest t;
    struct Case {
        int maxCount;
        int copied;
        std::string text;
    };
    const std::vector<Case> cases = {
        {0, 0, ""},      {-3, 0, ""},      {1, 0, ""},       {2, 1, "a"},
        {6, 5, "abcde"}, {7, 6, "abcdef"}, {8, 6, "abcdef"}, {100, 6, "abcdef"},
    };
    for (int id : {IDC_FIRST_PATH, IDC_RESULT}) {
        t.Host().SetItemText(id, "abcdef");
        EXPECT_EQ(t.Host().GetItemTextLength(id), 6);
        for (const Case& c : cases) {
            char buffer[16];
            std::memset(buffer, '#', sizeof buffer);
            EXPECT_EQ(t.Host().GetItemText(id, buffer, c.maxCount), c.copied) << c.maxCount;
            if (c.maxCount <= 0) {
                EXPECT_EQ(buffer[0], '#') << c.maxCount;
                continue;
            }
            EXPECT_EQ(std::string(buffer), c.text) << c.maxCount;
            EXPECT_EQ(buffer[c.copied + 1], '#') << c.maxCount;
        }
    }
}

// Lengths count bytes of the local 8-bit text, and the bytes come back as they were set; the
// result box keeps no-break spaces and tabs, and joins its lines with "\n".
TEST(HostText, BytesRoundTrip) {
    DialogUnderTest t;
    struct Case {
        int id;
        std::string bytes;
    };
    const std::vector<Case> cases = {
        {IDC_FIRST_PATH, "/tmp/caf\xC3\xA9.bin"},
        {IDC_SECOND_PATH, "\xE2\x82\xAC and spaces  "},
        {IDC_RESULT,
         "line 1\nline\t2\n\nno\xC2\xA0"
         "break\n"},
        {IDC_RESULT, ""},
        {IDC_RESULT, "\n\n"},
    };
    for (const Case& c : cases) {
        t.Host().SetItemText(c.id, c.bytes.c_str());
        EXPECT_EQ(t.Host().GetItemTextLength(c.id), static_cast<int>(c.bytes.size())) << c.bytes;
        EXPECT_EQ(t.Text(c.id), c.bytes);
    }
    t.Host().SetItemText(IDC_FIRST_PATH, "caf\xC3\xA9");
    EXPECT_EQ(t.FirstPath().text(), QStringLiteral("caf\u00E9"));
}

TEST(HostText, ButtonTextsChecksAndUnknownIds) {
    DialogUnderTest t;
    EXPECT_EQ(t.Text(IDC_COMPARE), "Compare");
    EXPECT_EQ(t.Text(IDC_SHORT_NAMES), "Short file name");
    EXPECT_EQ(t.Host().GetItemTextLength(4242), 0);
    EXPECT_EQ(t.Text(4242), "");
    t.Host().SetItemChecked(IDC_SHORT_NAMES, true);
    t.Host().SetItemChecked(IDC_SPACE_SEPARATOR, false);
    EXPECT_TRUE(t.Check(IDC_SHORT_NAMES).isChecked());
    EXPECT_FALSE(t.Check(IDC_SPACE_SEPARATOR).isChecked());
    EXPECT_TRUE(t.Host().IsItemChecked(IDC_SHORT_NAMES));
    EXPECT_FALSE(t.Host().IsItemChecked(IDC_SPACE_SEPARATOR));
    // A push button has no check state to set or read.
    t.Host().SetItemChecked(IDC_COMPARE, true);
    EXPECT_FALSE(t.Button(IDC_COMPARE).isChecked());
    EXPECT_FALSE(t.Host().IsItemChecked(IDC_COMPARE));
    EXPECT_STREQ(t.Host().LineEnd(), "\n");
}

}  // namespace
}  // namespace tandrel
