// The Windows token rules: the whole command line to the three tokens.
#include "app/command_line.h"

#include <gtest/gtest.h>

#include <tuple>

namespace tandrel {
namespace {

TEST(CommandLine, WindowsTextSplitsIntoThreeTokens) {
    const struct {
        const char* commandLine;
        bool headless;
        std::string first, second, third;
        bool hasThird;
    } cases[] = {
        {"t.exe", false, "", "", "", false},
        {"t.exe a.bin", false, "a.bin", "", "", false},
        {"t.exe \"a b.bin\"", false, "\"a b.bin\"", "", "", false},  // stripped only when headless
        {"t.exe a\tb", false, "a\tb", "", "", false},                // only a space separates
        {"\"C:\\unclosed a b", false, "", "", "", false},
        {"\"C:\\Program Files\\t.exe\"a.bin b.bin", true, "a.bin", "b.bin", "", false},
        // Codes 1 to 32 after the program name are blanks; codes above 127 never are.
        {"t.exe\t\x1F \1a b", true, "a", "b", "", false},
        {"t\xE9.exe a b", true, "a", "b", "", false},
        {"t.exe \xA0x y", true, "\xA0x", "y", "", false},
        {"t.exe a ", true, "a", "", "", false},
        {"t.exe a   b    c d", true, "a", "b", "c", true},  // several spaces are one separator
        {"t.exe \"x y\" \"z w\" \"r s\"", true, "x y", "z w", "r s", true},
        {"t.exe \"\" b", true, "", "b", "", false},
        {"t.exe a b \"\"", true, "a", "b", "", true},
        {"t.exe a \"b c", true, "a", "b c", "", false},  // unclosed: runs to the end
        {"t.exe a \"", true, "a", "", "", false},
        {"t.exe \"x\"y b", true, "x\"y", "b", "", false},
        {"t.exe \"\"a\"\" b", true, "\"a\"", "b", "", false},  // one quote at each end only
        {"t.exe p\"q r\"s t", true, "p\"q r\"s", "t", "", false},
    };
    for (const auto& c : cases) {
        const CommandLine line = SplitArgumentText(ArgumentTextFromCommandLine(c.commandLine));
        EXPECT_EQ(std::tie(line.headless, line.first, line.second, line.third, line.hasThird),
                  std::tie(c.headless, c.first, c.second, c.third, c.hasThird))
            << c.commandLine;
    }
}

}  // namespace
}  // namespace tandrel
