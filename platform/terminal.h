// Standard error as a terminal, for the progress line; never the report's way out.
#pragma once

#include <cstddef>

namespace tandrel {

// True when standard error is a terminal (never on Windows, where the program has no console).
bool StandardErrorIsTerminal();

// Writes the bytes to standard error as they are; a failure is not the run's concern.
void WriteStandardError(const char* text, size_t count);

}  // namespace tandrel
