// Texts through the port over the real controls: GetWindowTextA's bounds, ANSI bytes, CR LF in
// the result box, and the check states.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "tests/win32/win32_dialog_under_test.h"

namespace tandrel {
namespace {

using test::Win32DialogUnderTest;

// At most maxCount - 1 bytes and a zero; the count copied is returned; bytes after the zero
// are never touched.
TEST(HostText, CopiesWithinTheBounds) {
    Win32DialogUnderTest t;
    struct Case {
        int maxCount;
        int copied;
        std::string text;
    };
    const std::vector<Case> cases = {
        {1, 0, ""},       {2, 1, "a"},      {6, 5, "abcde"},
        {7, 6, "abcdef"}, {8, 6, "abcdef"}, {100, 6, "abcdef"},
    };
    for (int id : {IDC_FIRST_PATH, IDC_RESULT}) {
        t.SetText(id, "abcdef");
        EXPECT_EQ(t.Host().GetItemTextLength(id), 6);
        for (const Case& c : cases) {
            char buffer[16];
            std::memset(buffer, '#', sizeof buffer);
            EXPECT_EQ(t.Host().GetItemText(id, buffer, c.maxCount), c.copied) << c.maxCount;
            EXPECT_EQ(std::string(buffer), c.text) << c.maxCount;
            EXPECT_EQ(buffer[c.copied + 1], '#') << c.maxCount;
        }
        char untouched = '#';
        EXPECT_EQ(t.Host().GetItemText(id, &untouched, 0), 0);
        EXPECT_EQ(untouched, '#');
    }
}

// Compare reads each path box through a 2,000-byte buffer: a longer text gives its first 1,999
// characters, whichever box it is in.
TEST(HostText, PathBoxesGiveAt1999CharactersThroughTheComparesBuffer) {
    Win32DialogUnderTest t;
    std::string typed;
    for (int i = 0; i < 2500; ++i) {
        typed += static_cast<char>('a' + i % 26);
    }
    for (int id : {IDC_FIRST_PATH, IDC_SECOND_PATH}) {
        for (size_t length : {1998u, 1999u, 2000u, 2500u}) {
            t.SetText(id, typed.substr(0, length));
            ASSERT_EQ(t.Host().GetItemTextLength(id), static_cast<int>(length));
            std::vector<char> buffer(2000, '#');
            const int copied = t.Host().GetItemText(id, buffer.data(), 2000);
            const size_t expected = std::min<size_t>(length, 1999);
            EXPECT_EQ(copied, static_cast<int>(expected)) << length;
            EXPECT_EQ(std::string(buffer.data()), typed.substr(0, expected)) << length;
        }
    }
}

// Lengths count bytes of the ANSI text, and the bytes come back as they were set; the result
// box keeps its CR LF line ends, tabs and empty lines.
TEST(HostText, BytesRoundTrip) {
    Win32DialogUnderTest t;
    struct Case {
        int id;
        std::string bytes;
    };
    const std::vector<Case> cases = {
        {IDC_FIRST_PATH, "C:\\caf\xE9\\r\xE9sum\xE9.bin"},
        {IDC_SECOND_PATH, "\xA0no-break and spaces  "},
        {IDC_RESULT,
         "line 1\r\nline\t2\r\n\r\nno\xA0"
         "break\r\n"},
        {IDC_RESULT, ""},
        {IDC_RESULT, "\r\n\r\n"},
    };
    for (const Case& c : cases) {
        t.Host().SetItemText(c.id, c.bytes.c_str());
        EXPECT_EQ(t.Host().GetItemTextLength(c.id), static_cast<int>(c.bytes.size())) << c.bytes;
        std::vector<char> buffer(c.bytes.size() + 1, '#');
        EXPECT_EQ(t.Host().GetItemText(c.id, buffer.data(), static_cast<int>(buffer.size())),
                  static_cast<int>(c.bytes.size()));
        EXPECT_EQ(std::string(buffer.data()), c.bytes);
        // The port's text is the control's own.
        EXPECT_EQ(t.Text(c.id), c.bytes);
    }
}

// An id with no control reads as an empty text, as DiffDialog's port promises on every backend.
TEST(HostText, UnknownIdsReadAsEmpty) {
    Win32DialogUnderTest t;
    EXPECT_EQ(t.Host().GetItemTextLength(4242), 0);
    char buffer[32];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(t.Host().GetItemText(4242, buffer, sizeof buffer), 0);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_FALSE(t.Host().IsItemChecked(4242));
}

TEST(HostText, ButtonTextsAndChecks) {
    Win32DialogUnderTest t;
    char buffer[32];
    ASSERT_EQ(t.Host().GetItemText(IDC_COMPARE, buffer, sizeof buffer), 7);
    EXPECT_STREQ(buffer, "Compare");
    ASSERT_EQ(t.Host().GetItemText(IDC_SHORT_NAMES, buffer, sizeof buffer), 15);
    EXPECT_STREQ(buffer, "Short file name");

    t.Host().SetItemChecked(IDC_SHORT_NAMES, true);
    t.Host().SetItemChecked(IDC_SPACE_SEPARATOR, false);
    EXPECT_TRUE(t.IsChecked(IDC_SHORT_NAMES));
    EXPECT_FALSE(t.IsChecked(IDC_SPACE_SEPARATOR));
    // A click toggles the check box, and the port reads what the user left.
    t.Click(IDC_SHORT_NAMES);
    t.Click(IDC_SPACE_SEPARATOR);
    EXPECT_FALSE(t.Host().IsItemChecked(IDC_SHORT_NAMES));
    EXPECT_TRUE(t.Host().IsItemChecked(IDC_SPACE_SEPARATOR));
    // A push button has no check state to set or read.
    t.Host().SetItemChecked(IDC_COMPARE, true);
    EXPECT_FALSE(t.Host().IsItemChecked(IDC_COMPARE));
    EXPECT_EQ(::SendMessageA(t.Item(IDC_COMPARE), BM_GETCHECK, 0, 0), BST_UNCHECKED);
}

}  // namespace
}  // namespace tandrel
