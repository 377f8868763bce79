#include "app/options.h"

#include <algorithm>

#include "app/command_line.h"

namespace tandrel {
namespace {

enum class Id {
    kFormat,
    kExitCode,
    kIgnoreInitial,
    kBytes,
    kMaxRuns,
    kIgnorePeNoise,
    kInstructions,
    kAlign,
    kApply,
    kRevert,
    kPairsFrom,
    kProgress,
    kNoProgress,
    kHelp,
    kVersion
};

struct OptionRow {
    Id id;
    const char* name;
    char letter;            // the short form, or 0
    const char* valueName;  // null for an option without a value
    const char* help;
};

// One table for the parser and the help text.
constexpr OptionRow kOptions[] = {
    {Id::kFormat, "format", 0, "FORMAT", "text (the default), jsonl, dif, 1337 or ips"},
    {Id::kExitCode, "exit-code", 0, nullptr,
     "exit 0 when identical, 1 when different, 2 on trouble"},
    {Id::kIgnoreInitial, "ignore-initial", 0, "SKIP",
     "skip SKIP bytes of each file (SKIP1:SKIP2 for each apart)"},
    {Id::kBytes, "bytes", 0, "LIMIT", "compare at most LIMIT bytes"},
    {Id::kMaxRuns, "max-runs", 0, "N", "stop after N runs (not with a patch format)"},
    {Id::kIgnorePeNoise, "ignore-pe-noise", 0, nullptr,
     "set a PE image's time stamps, checksum, debug\n"
     "                              identity and signature aside"},
    {Id::kInstructions, "instructions", 0, nullptr,
     "list the x86 instructions under each run in a PE\n"
     "                              image's code (text and jsonl)"},
    {Id::kAlign, "align", 0, nullptr,
     "find bytes inserted or deleted (up to 1 MiB each)\n"
     "                              and line up what follows (text or jsonl)"},
    {Id::kApply, "apply", 0, "PATCH",
     "apply a dif or 1337 PATCH to TARGET (IPS patches\n"
     "                              carry no old bytes and are not applied)"},
    {Id::kRevert, "revert", 0, nullptr, "with --apply: take the patch back"},
    {Id::kPairsFrom, "pairs-from", 0, "LIST",
     "compare the pairs LIST names: FIRST, SECOND, each\n"
     "                              name ended by a NUL byte (- for standard input)"},
    {Id::kProgress, "progress", 0, nullptr, "show a progress line on standard error"},
    {Id::kNoProgress, "no-progress", 0, nullptr,
     "never show it (by default it shows on a terminal\n"
     "                              once a run has lasted a second)"},
    {Id::kHelp, "help", 'h', nullptr, "show this help and exit"},
    {Id::kVersion, "version", 'V', nullptr, "show the version and exit"},
};

struct FormatName {
    const char* name;
    OutputFormat format;
};
constexpr FormatName kFormats[] = {{"text", OutputFormat::kText},
                                   {"jsonl", OutputFormat::kJsonLines},
                                   {"dif", OutputFormat::kDif},
                                   {"1337", OutputFormat::k1337},
                                   {"ips", OutputFormat::kIps}};

// Decimal, or hexadecimal after "0x"; no sign, no suffix, nothing past 64 bits.
bool ParseNumber(const std::string& text, uint64_t& value) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const unsigned base = hex ? 16 : 10;
    if (text.empty() || text == "0x" || text == "0X") {
        return false;
    }
    value = 0;
    for (size_t k = hex ? 2 : 0; k < text.size(); ++k) {
        const char c = text[k];
        unsigned digit = 0;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (hex && c >= 'a' && c <= 'f') {
            digit = static_cast<unsigned>(c - 'a' + 10);
        } else if (hex && c >= 'A' && c <= 'F') {
            digit = static_cast<unsigned>(c - 'A' + 10);
        } else {
            return false;
        }
        if (value > (UINT64_MAX - digit) / base) {
            return false;
        }
        value = value * base + digit;
    }
    return true;
}

class Parser {
  public:
    explicit Parser(Arguments& result) : result_(result) {}

    // Takes one option with its value; false on a usage error or at --help and --version.
    bool Take(const OptionRow& entry, const std::string& spelling,
              const std::optional<std::string>& value) {
        Options& options = result_.options;
        const std::string text = value.value_or("");
        uint64_t number = 0;
        switch (entry.id) {
            case Id::kHelp:
                result_.action = Action::kHelp;
                return false;
            case Id::kVersion:
                result_.action = Action::kVersion;
                return false;
            case Id::kFormat:
                // Each value is judged on its own: an earlier good one does not cover a bad one.
                for (const FormatName& format : kFormats) {
                    if (text == format.name) {
                        options.format = format.format;
                        options.formatGiven = true;
                        return true;
                    }
                }
                return Fail("bad value for " + spelling + ": '" + text +
                            "' (text, jsonl, dif, 1337 or ips)");
            case Id::kExitCode:
                options.exitCode = true;
                return true;
            case Id::kIgnoreInitial: {
                const size_t colon = text.find(':');
                if (!ParseNumber(text.substr(0, colon), options.skips[0])) {
                    return BadNumber(spelling, text);
                }
                options.skips[1] = options.skips[0];
                return colon == std::string::npos ||
                       ParseNumber(text.substr(colon + 1), options.skips[1]) ||
                       BadNumber(spelling, text);
            }
            case Id::kBytes:
                return (ParseNumber(text, number) && (options.bytes = number, true)) ||
                       BadNumber(spelling, text);
            case Id::kMaxRuns:
                return (ParseNumber(text, number) && (options.maxRuns = number, true)) ||
                       BadNumber(spelling, text);
            case Id::kIgnorePeNoise:
                options.ignorePeNoise = true;
                return true;
            case Id::kInstructions:
                options.instructions = true;
                return true;
            case Id::kAlign:
                options.align = true;
                return true;
            case Id::kApply:
                options.apply = text;
                return !text.empty() || Fail("option '" + spelling + "' needs a patch file");
            case Id::kRevert:
                options.revert = true;
                return true;
            case Id::kPairsFrom:
                if (text.empty()) {
                    return Fail("option '" + spelling +
                                "' needs a file name ('-': standard input)");
                }
                options.pairsFrom = text;
                return true;
            case Id::kProgress:
                options.progress = ProgressMode::kAlways;
                return true;
            case Id::kNoProgress:
                options.progress = ProgressMode::kNever;
                return true;
        }
        return true;
    }

    bool Fail(const std::string& line) {
        result_.action = Action::kUsageError;
        result_.error = line;
        return false;
    }

  private:
    bool BadNumber(const std::string& spelling, const std::string& text) {
        return Fail("bad value for " + spelling + ": '" + text +
                    "' (a number: decimal, or hexadecimal after 0x)");
    }

    Arguments& result_;
};

const OptionRow* FindLong(const std::string& name) {
    for (const OptionRow& entry : kOptions) {
        if (name == entry.name) {
            return &entry;
        }
    }
    return nullptr;
}

const OptionRow* FindShort(char letter) {
    for (const OptionRow& entry : kOptions) {
        if (entry.letter != 0 && entry.letter == letter) {
            return &entry;
        }
    }
    return nullptr;
}

// The combinations that no single run can honour.
bool CheckCombination(Arguments& result, Parser& parser, bool quoted) {
    const Options& options = result.options;
    const bool patch = options.format == OutputFormat::kDif ||
                       options.format == OutputFormat::k1337 ||
                       options.format == OutputFormat::kIps;
    if (options.revert && !options.apply) {
        return parser.Fail("--revert works only with --apply");
    }
    if (options.apply) {
        if (options.formatGiven || options.exitCode || options.bytes || options.maxRuns ||
            options.ignorePeNoise || options.instructions || options.align ||
            options.skips[0] != 0 || options.skips[1] != 0 || options.pairsFrom) {
            return parser.Fail("--apply takes only --revert besides it");
        }
        if (result.files.empty() || result.files.size() > 2) {
            return parser.Fail(
                "--apply takes the file to patch, and the file to write if not "
                "that one");
        }
        for (std::string file : result.files) {
            if (quoted) {
                StripQuotes(file);
            }
            if (file.empty()) {
                return parser.Fail(
                    "--apply takes no empty file name ('-' writes the patched copy to standard "
                    "output)");
            }
        }
        return true;
    }
    if (patch && options.align) {
        return parser.Fail(
            "a patch cannot hold inserted or deleted bytes: --align not with "
            "--format=" +
            std::string(options.format == OutputFormat::kDif    ? "dif"
                        : options.format == OutputFormat::k1337 ? "1337"
                                                                : "ips"));
    }
    if (patch && options.maxRuns) {
        return parser.Fail("--max-runs would cut the patch short: not with --format=" +
                           std::string(options.format == OutputFormat::kDif    ? "dif"
                                       : options.format == OutputFormat::k1337 ? "1337"
                                                                               : "ips"));
    }
    if (patch && options.instructions) {
        return parser.Fail("--instructions lists code in text and jsonl reports only");
    }
    if (options.pairsFrom) {
        if (patch) {
            return parser.Fail("a patch holds one pair: not with --pairs-from");
        }
        if (result.files.size() > 1) {
            return parser.Fail("--pairs-from takes only the report besides it");
        }
        return true;
    }
    if (options.headless && result.files.size() < 2) {
        return parser.Fail("two files to compare are needed");
    }
    return true;
}

}  // namespace

Arguments ParseArguments(std::span<const std::string> tokens, bool quoted) {
    Arguments result;
    Parser parser(result);
    bool optionsEnded = false;
    for (size_t k = 0; k < tokens.size(); ++k) {
        std::string token = tokens[k];
        if (quoted) {
            StripQuotes(token);
        }
        if (optionsEnded || token.size() < 2 || token[0] != '-') {
            result.files.push_back(tokens[k]);
            continue;
        }
        if (token == "--") {
            optionsEnded = true;
            continue;
        }
        const bool isLong = token[1] == '-';
        const size_t equals = isLong ? token.find('=') : std::string::npos;
        const std::string spelling = token.substr(0, equals);
        const OptionRow* entry = isLong ? FindLong(spelling.substr(2))
                                        : (token.size() == 2 ? FindShort(token[1]) : nullptr);
        if (entry == nullptr) {
            parser.Fail("unknown option '" + spelling + "'");
            return result;
        }
        std::optional<std::string> value;
        if (equals != std::string::npos) {
            value = token.substr(equals + 1);
        } else if (entry->valueName != nullptr && k + 1 < tokens.size()) {
            value = tokens[++k];
        }
        if (value && quoted) {
            StripQuotes(*value);
        }
        if (entry->valueName != nullptr && !value) {
            parser.Fail("option '" + spelling + "' needs a value");
            return result;
        }
        if (entry->valueName == nullptr && equals != std::string::npos) {
            parser.Fail("option '" + spelling + "' takes no value");
            return result;
        }
        if (!parser.Take(*entry, spelling, value)) {
            return result;
        }
        result.options.headless = true;
    }
    CheckCombination(result, parser, quoted);
    return result;
}

std::string HelpText() {
    std::string text =
        "Usage: tandrel [OPTION]... FIRST SECOND [REPORT]\n"
        "       tandrel [OPTION]... FIRST_FOLDER SECOND_FOLDER [REPORT]\n"
        "       tandrel [OPTION]... --pairs-from=LIST [REPORT]\n"
        "       tandrel --apply=PATCH [--revert] TARGET [OUTPUT]\n"
        "       tandrel\n"
        "Compares FIRST with SECOND byte by byte and writes every run of differing bytes to\n"
        "REPORT (file.txt when not given, - for standard output), with RVA and VA when FIRST\n"
        "is a PE image. Two folders are compared entry by entry, as diff -r walks them.\n"
        "With no file, or only one (which it does not open), it shows the dialog.\n"
        "\n"
        "Options:\n";
    for (const OptionRow& entry : kOptions) {
        std::string left =
            entry.letter != 0 ? std::string("  -") + entry.letter + ", --" : "      --";
        left += entry.name;
        if (entry.valueName != nullptr) {
            left += std::string("=") + entry.valueName;
        }
        left.resize(std::max<size_t>(left.size() + 2, 30), ' ');
        text += left + entry.help + "\n";
    }
    text +=
        "Numbers are decimal, or hexadecimal after 0x. A file whose name begins with - goes\n"
        "after -- or as ./-name.\n"
        "\n"
        "Exit status: 0 when the run did its job (with --exit-code: the files are identical),\n"
        "1 when the files differ (with --exit-code) or the dialog cannot start, 2 on trouble:\n"
        "a usage error, an input not read whole, a report not written whole, a patch refused.\n"
        "\n"
        "The manual: man tandrel\n";
    return text;
}

}  // namespace tandrel
