#include "platform/terminal.h"

#include <unistd.h>

namespace tandrel {

bool StandardErrorIsTerminal() {
    return isatty(STDERR_FILENO) == 1;
}

void WriteStandardError(const char* text, size_t count) {
    while (count > 0) {
        const ssize_t written = write(STDERR_FILENO, text, count);
        if (written <= 0) {
            return;
        }
        text += written;
        count -= static_cast<size_t>(written);
    }
}

}  // namespace tandrel
