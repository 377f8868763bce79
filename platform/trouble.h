// Why an operation could not do its job: the file it concerns and the reason, for the one line
// a failed run prints on standard error as "tandrel: FILE: reason".
#pragma once

#include <string>

namespace tandrel {

struct Trouble {
    std::string file;    // may be empty when the reason concerns no one file
    std::string reason;  // e.g. "No such file or directory", "changed while it was compared"

    bool Empty() const { return reason.empty(); }
    // Keeps the first trouble reported: later ones are usually its consequences.
    void Set(std::string fileName, std::string why) {
        if (reason.empty()) {
            file = std::move(fileName);
            reason = std::move(why);
        }
    }
    // The line without the program's name: "FILE: reason", or the reason alone.
    std::string Line() const { return file.empty() ? reason : file + ": " + reason; }
};

// The system's text for an error number (strerror), e.g. "No such file or directory".
std::string SystemReason(int error);

}  // namespace tandrel
