#include "app/command_line.h"

#include <cstring>

namespace tandrel {
namespace {

const char* SkipSpaces(const char* p) {
    while (*p == ' ') {
        ++p;
    }
    return p;
}

}  // namespace

std::string TakeToken(const char* start, const char* delimiter, char quote) {
    const size_t delimiterLength = std::strlen(delimiter);
    bool quoted = false;
    size_t i = 0;
    for (; start[i] != '\0'; ++i) {
        if (quote != '\0' && start[i] == quote) {
            quoted = !quoted;
        }
        if (!quoted && std::strncmp(start + i, delimiter, delimiterLength) == 0) {
            break;
        }
    }
    return std::string(start, i);
}

void StripQuotes(std::string& text) {
    if (!text.empty() && text.back() == '"') {
        text.pop_back();
    }
    if (!text.empty() && text.front() == '"') {
        text.erase(0, 1);
    }
}

std::vector<std::string> CutArgumentText(const char* text) {
    std::vector<std::string> tokens;
    if (*text == '\0') {
        return tokens;
    }
    const char* p = text;
    for (;;) {
        tokens.push_back(TakeToken(p, " ", '"'));
        p += tokens.back().size();
        if (*p == '\0') {
            return tokens;
        }
        p = SkipSpaces(p);
    }
}

const char* ArgumentTextFromCommandLine(const char* commandLine) {
    const auto* p = reinterpret_cast<const unsigned char*>(commandLine);
    if (*p == '"') {
        ++p;
        while (*p != '\0' && *p != '"') {
            ++p;
        }
        if (*p == '"') {
            ++p;
        }
    } else {
        while (*p > ' ') {
            ++p;
        }
    }
    while (*p != '\0' && *p <= ' ') {
        ++p;
    }
    return reinterpret_cast<const char*>(p);
}

CommandLine CommandLineFromFiles(const std::vector<std::string>& files, bool quoted) {
    CommandLine result;
    std::string* const tokens[3] = {&result.first, &result.second, &result.third};
    for (size_t k = 0; k < 3 && k < files.size(); ++k) {
        *tokens[k] = files[k];
        // Emptiness is judged on the tokens as cut, before their quotes go.
        if (quoted && !tokens[k]->empty()) {
            StripQuotes(*tokens[k]);
        }
    }
    result.headless = files.size() >= 2;
    result.hasThird = files.size() >= 3 && (!quoted || !files[2].empty());
    return result;
}

}  // namespace tandrel
