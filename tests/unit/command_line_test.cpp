// The Windows command line to its tokens, options and files, as the Windows program reads it.
#include "app/command_line.h"

#include <gtest/gtest.h>

#include "app/options.h"

namespace tandrel {
namespace {

// What the program makes of a command line, as one text: the usage error, or the action, the
// three files with a "+" after a third that was given, and the options that differ from the
// defaults.
std::string Outcome(const char* commandLine) {
    const std::vector<std::string> tokens =
        CutArgumentText(ArgumentTextFromCommandLine(commandLine));
    const Arguments arguments = ParseArguments(tokens, true);
    if (arguments.action != Action::kRun) {
        return arguments.action == Action::kUsageError ? "error: " + arguments.error
               : arguments.action == Action::kHelp     ? "help"
                                                       : "version";
    }
    const CommandLine line = CommandLineFromFiles(arguments.files, true);
    const Options& o = arguments.options;
    std::string text = (line.headless || o.headless ? "headless " : "dialog ") + line.first + "|" +
                       line.second + "|" + line.third + (line.hasThird ? "+" : "");
    text += o.exitCode ? " exit-code" : "";
    text += o.format == OutputFormat::kJsonLines ? " jsonl" : "";
    text += o.skips[0] || o.skips[1]
                ? " skip " + std::to_string(o.skips[0]) + ":" + std::to_string(o.skips[1])
                : "";
    text += o.bytes ? " bytes " + std::to_string(*o.bytes) : "";
    text += o.apply ? " apply " + *o.apply + (o.revert ? " revert" : "") : "";
    return text;
}

TEST(CommandLine, WindowsTextToTokensOptionsAndFiles) {
    const std::pair<const char*, std::string> cases[] = {
        {"t.exe", "dialog ||"},
        {"t.exe a.bin", "dialog a.bin||"},
        {"t.exe \"a b.bin\"", "dialog a b.bin||"},
        {"t.exe a\tb", "dialog a\tb||"},  // only a space separates
        {"\"C:\\unclosed a b", "dialog ||"},
        {"\"C:\\Program Files\\t.exe\"a.bin b.bin", "headless a.bin|b.bin|"},
        // Codes 1 to 32 after the program name are blanks; codes above 127 never are.
        {"t.exe\t\x1F \1a b", "headless a|b|"},
        {"t\xE9.exe a b", "headless a|b|"},
        {"t.exe \xA0x y", "headless \xA0x|y|"},
        {"t.exe a ", "headless a||"},
        {"t.exe a   b    c d", "headless a|b|c+"},  // several spaces are one separator
        {"t.exe \"x y\" \"z w\" \"r s\"", "headless x y|z w|r s+"},
        {"t.exe \"\" b", "headless |b|"},
        {"t.exe a b \"\"", "headless a|b|+"},
        {"t.exe a \"b c", "headless a|b c|"},  // unclosed: runs to the end
        {"t.exe a \"", "headless a||"},
        {"t.exe \"x\"y b", "headless x\"y|b|"},
        {"t.exe \"\"a\"\" b", "headless \"a\"|b|"},  // one quote at each end only
        {"t.exe p\"q r\"s t", "headless p\"q r\"s|t|"},
        // Options, wherever they stand before "--", quoted or not.
        {"t.exe a b --exit-code", "headless a|b| exit-code"},
        {"t.exe \"--format=jsonl\" a b r", "headless a|b|r+ jsonl"},
        {"t.exe --ignore-initial=\"16:0x10\" --bytes 0x100 a b",
         "headless a|b| skip 16:16 bytes 256"},
        {"t.exe --apply \"p.dif\" --revert app.exe", "headless app.exe|| apply p.dif revert"},
        {"t.exe -- --exit-code -", "headless --exit-code|-|"},
        {"t.exe a -h --frob", "help"},
        {"t.exe -V", "version"},
        {"t.exe a b --exit", "error: unknown option '--exit'"},  // no abbreviations
    };
    for (const auto& [commandLine, outcome] : cases) {
        EXPECT_EQ(Outcome(commandLine), outcome) << commandLine;
    }
}

}  // namespace
}  // namespace tandrel
