// The command line's options (GNU long options, taken out wherever they stand before "--") and
// the files that remain.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tandrel {

enum class OutputFormat { kText, kJsonLines, kDif, k1337, kIps };

// When the progress line shows: on a terminal once a run has lasted a second, always, never.
enum class ProgressMode { kAuto, kAlways, kNever };

struct Options {
    OutputFormat format = OutputFormat::kText;
    bool formatGiven = false;
    bool exitCode = false;
    uint64_t skips[2] = {0, 0};
    std::optional<uint64_t> bytes;
    std::optional<uint64_t> maxRuns;
    bool ignorePeNoise = false;
    bool instructions = false;
    bool align = false;                // line up inserted and deleted bytes
    std::optional<std::string> apply;  // the patch to apply
    bool revert = false;
    // A file of NUL-separated pairs ("-": standard input) to compare one after another.
    std::optional<std::string> pairsFrom;
    ProgressMode progress = ProgressMode::kAuto;
    // Some option asks for a headless result, so the dialog is never the answer.
    bool headless = false;
};

enum class Action { kRun, kHelp, kVersion, kUsageError };

struct Arguments {
    Action action = Action::kRun;
    Options options;
    // What is left once the options are out, in order. With Windows tokens, as cut: their quotes
    // are still on, since whether a token is empty is judged before they go.
    std::vector<std::string> files;
    std::string error;  // the usage error, one line
};

// Takes the options out of the tokens: before "--", any token but "-" that begins with "-" (after
// its quotes, for Windows tokens, which also lose the quotes around a value). Stops at --help,
// --version or the first usage error.
Arguments ParseArguments(std::span<const std::string> tokens, bool quoted);

// The text --help prints, made from the option table.
std::string HelpText();

}  // namespace tandrel
