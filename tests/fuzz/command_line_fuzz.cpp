// Any argument text: the split must not crash and must keep its own rules.
#include <cstdint>
#include <string>

#include "app/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const char* start = text.c_str();  // stops at the first zero, as a C string does
    const tandrel::CommandLine line = tandrel::SplitArgumentText(start);
    const std::string cut = tandrel::TakeToken(start, " ", '"');
    // Headless exactly when the text goes on after its first token.
    if (line.headless != (start[cut.size()] != '\0')) {
        __builtin_trap();
    }
    if (!line.headless && (!line.second.empty() || line.hasThird)) {
        __builtin_trap();
    }
    const char* rest = tandrel::ArgumentTextFromCommandLine(start);
    if (rest < start || rest > start + std::char_traits<char>::length(start)) {
        __builtin_trap();
    }
    return 0;
}
