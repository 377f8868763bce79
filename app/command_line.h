// The argument text and its split into the first file, second file and report file.
#pragma once

#include <string>

namespace tandrel {

// The text of start up to the first delimiter outside a quoted stretch. Quote characters are
// kept; a quote of '\0' disables quoting.
std::string TakeToken(const char* start, const char* delimiter, char quote);

// Removes one double quote at the end and one at the start, each only where it is.
void StripQuotes(std::string& text);

struct CommandLine {
    // Compare without a window: the argument text goes on after its first token (Windows), or
    // there are two or more arguments (Linux).
    bool headless = false;
    std::string first;
    std::string second;
    // The report path after stripping; empty when no third token was given.
    std::string third;
    // A third token was given (non-empty before stripping), even if stripping emptied it.
    bool hasThird = false;
};

// Splits the argument text. A run of several spaces between tokens counts as one separator;
// further tokens after the third are ignored.
CommandLine SplitArgumentText(const char* text);

// The Windows rule for the argument text: the command line less the program's name (quoted up
// to the closing quote, else up to the first blank) and the blanks after it. Codes 1 to 32 are
// blanks; codes 128 to 255 never are.
const char* ArgumentTextFromCommandLine(const char* commandLine);

// The Linux rule: the shell has already split and unquoted the arguments, so argv[1], argv[2]
// and argv[3] are the tokens as given (quotes and spaces are part of a name). Two or more
// arguments: headless; an empty argv[3] names no report.
CommandLine CommandLineFromArgv(int argc, const char* const* argv);

}  // namespace tandrel
