#include "platform/terminal.h"

namespace tandrel {

bool StandardErrorIsTerminal() {
    return false;
}

void WriteStandardError(const char*, size_t) {}

}  // namespace tandrel
