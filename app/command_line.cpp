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

CommandLine SplitArgumentText(const char* text) {
    CommandLine result;
    if (*text == '\0') {
        return result;
    }
    result.first = TakeToken(text, " ", '"');
    const char* p = text + result.first.size();
    if (*p == '\0') {
        return result;  // one token and nothing after it: the dialog
    }
    result.headless = true;
    p = SkipSpaces(p);
    result.second = TakeToken(p, " ", '"');
    p = SkipSpaces(p + result.second.size());
    result.third = TakeToken(p, " ", '"');
    // Emptiness is judged on the tokens as cut, before their quotes go.
    if (!result.first.empty()) {
        StripQuotes(result.first);
    }
    if (!result.second.empty()) {
        StripQuotes(result.second);
    }
    result.hasThird = !result.third.empty();
    StripQuotes(result.third);
    return result;
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

CommandLine CommandLineFromArgv(int argc, const char* const* argv) {
    CommandLine result;
    if (argc >= 2) {
        result.first = argv[1];
    }
    if (argc >= 3) {
        result.headless = true;
        result.second = argv[2];
    }
    if (argc >= 4) {
        result.third = argv[3];
        result.hasThird = true;
    }
    return result;
}

}  // namespace tandrel
