#include "app/command_line.h"

#include <gtest/gtest.h>

namespace tandrel {
namespace {

TEST(TakeToken, StopsAtTheDelimiterOutsideQuotes) {
    struct Case {
        const char* text;
        const char* delimiter;
        char quote;
        const char* token;
    };
    const Case cases[] = {
        {"a b", " ", '"', "a"},
        {"abc", " ", '"', "abc"},
        {" a", " ", '"', ""},
        {"", " ", '"', ""},
        {"\"a b\" c", " ", '"', "\"a b\""},
        {"x\"a b\"y z", " ", '"', "x\"a b\"y"},
        {"\"unclosed a b", " ", '"', "\"unclosed a b"},
        {"\"a b\" c", " ", '\0', "\"a"},  // no quote character: quotes are plain
        {"a\tb c", " ", '"', "a\tb"},     // only the delimiter separates
        {"a--b", "--", '"', "a"},
        {"a-b--c", "--", '"', "a-b"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TakeToken(c.text, c.delimiter, c.quote), c.token) << c.text;
    }
}

TEST(StripQuotes, RemovesOneQuoteAtEachEndIndependently) {
    struct Case {
        const char* in;
        const char* out;
    };
    const Case cases[] = {
        {"\"a b\"", "a b"}, {"\"a", "a"}, {"a\"", "a"},     {"\"\"", ""},
        {"\"", ""},         {"", ""},     {"\"\"\"", "\""}, {"a\"b\"c", "a\"b\"c"},
        {"\"a\"b", "a\"b"}, {"''", "''"},
    };
    for (const Case& c : cases) {
        std::string text = c.in;
        StripQuotes(text);
        EXPECT_EQ(text, c.out) << c.in;
    }
}

TEST(SplitArgumentText, ChoosesTheFrontEndAndCutsThreeTokens) {
    struct Case {
        const char* text;
        bool headless;
        const char* first;
        const char* second;
        const char* third;
        bool hasThird;
    };
    const Case cases[] = {
        {"", false, "", "", "", false},
        {"a.bin", false, "a.bin", "", "", false},
        {"\"a b.bin\"", false, "\"a b.bin\"", "", "", false},  // stripped only when headless
        {"a\tb", false, "a\tb", "", "", false},
        {"a ", true, "a", "", "", false},
        {"a b", true, "a", "b", "", false},
        {"a b ", true, "a", "b", "", false},
        {"a b c", true, "a", "b", "c", true},
        {"a b c d", true, "a", "b", "c", true},
        {"\"x y\" \"z w\" \"r s\"", true, "x y", "z w", "r s", true},
        {"\"\" b", true, "", "b", "", false},
        {"a b \"\"", true, "a", "b", "", true},
        {"a \"b c", true, "a", "b c", "", false},  // unclosed: runs to the end
        {"\"x\"y b", true, "x\"y", "b", "", false},
        {"p\"q r\"s t", true, "p\"q r\"s", "t", "", false},
        {"a   b    c", true, "a", "b", "c", true},  // several spaces are one separator
        {"a  ", true, "a", "", "", false},
    };
    for (const Case& c : cases) {
        const CommandLine line = SplitArgumentText(c.text);
        EXPECT_EQ(line.headless, c.headless) << c.text;
        EXPECT_EQ(line.first, c.first) << c.text;
        EXPECT_EQ(line.second, c.second) << c.text;
        EXPECT_EQ(line.third, c.third) << c.text;
        EXPECT_EQ(line.hasThird, c.hasThird) << c.text;
    }
}

TEST(ArgumentTextFromCommandLine, RemovesTheProgramName) {
    struct Case {
        const char* commandLine;
        const char* text;
    };
    const Case cases[] = {
        {"tandrel.exe a b", "a b"},
        {"tandrel.exe", ""},
        {"\"C:\\Program Files\\tandrel.exe\" a b", "a b"},
        {"\"C:\\tandrel.exe\"a.bin b.bin", "a.bin b.bin"},  // no blank after the quoted name
        {"\"C:\\unclosed a b", ""},
        {"tandrel.exe \t  a", "a"},
        {"tandrel.exe\ta", "a"},
        {"tandrel\xE9.exe a", "a"},      // codes above 127 are part of the name
        {"tandrel.exe \xA0x", "\xA0x"},  // and never blanks after it
        {"t.exe \x01\x1F a", "a"},
        {"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(ArgumentTextFromCommandLine(c.commandLine), c.text) << c.commandLine;
    }
}

TEST(ArgumentTextFromArgv, QuotesEmptyArgumentsAndThoseWithSpaces) {
    const char* argv[] = {"tandrel", "a", "b c", "", "d\"e"};
    EXPECT_EQ(ArgumentTextFromArgv(5, argv), "a \"b c\" \"\" d\"e");
    EXPECT_EQ(ArgumentTextFromArgv(1, argv), "");
    // Formed and split again, spaced arguments come back whole.
    const CommandLine line = SplitArgumentText(ArgumentTextFromArgv(4, argv).c_str());
    EXPECT_EQ(line.first, "a");
    EXPECT_EQ(line.second, "b c");
    EXPECT_TRUE(line.hasThird);
    EXPECT_EQ(line.third, "");
}

}  // namespace
}  // namespace tandrel
