// The argument text and its split into the first file, second file and report file.
#pragma once

#include <string>
#include <vector>

namespace tandrel {

// The text of start up to the first delimiter outside a quoted stretch. Quote characters are
// kept; a quote of '\0' disables quoting.
std::string TakeToken(const char* start, const char* delimiter, char quote);

// Removes one double quote at the end and one at the start, each only where it is.
void StripQuotes(std::string& text);

struct CommandLine {
    // Compare without a window: two or more files were given.
    bool headless = false;
    std::string first;
    std::string second;
    // The report path after stripping; empty when no third token was given.
    std::string third;
    // A third token was given (non-empty before stripping), even if stripping emptied it.
    bool hasThird = false;
};

// Cuts the Windows argument text into its tokens, quotes kept: a run of several spaces between
// tokens counts as one separator, and a text that goes on after a token (spaces only included)
// has a next token, empty when nothing follows the spaces.
std::vector<std::string> CutArgumentText(const char* text);

// The Windows rule for the argument text: the command line less the program's name (quoted up
// to the closing quote, else up to the first blank) and the blanks after it. Codes 1 to 32 are
// blanks; codes 128 to 255 never are.
const char* ArgumentTextFromCommandLine(const char* commandLine);

// The first three of the files left once the options are out. Quoted (Windows) tokens lose their
// quotes, their emptiness judged as cut; Linux names stay as given (an empty third: no report).
CommandLine CommandLineFromFiles(const std::vector<std::string>& files, bool quoted);

}  // namespace tandrel
