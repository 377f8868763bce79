// File operations beyond reading the inputs: creating a new file.
#pragma once

#include <cstddef>
#include <string>

#include "platform/trouble.h"

namespace tandrel {

// The character that separates folders in a path on this platform.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// Creates the file only if nothing of that name exists yet and writes size bytes to it. Returns
// false, leaving any existing file untouched, when creation fails; when the bytes cannot all be
// written (a full disk), the new file is removed, since a part would pass for the whole.
bool WriteNewFile(const char* path, const char* data, size_t size);
// The same, with the reason in trouble when it returns false.
bool WriteNewFile(const char* path, const char* data, size_t size, Trouble& trouble);

// True when something of that name exists, a dangling link included.
bool PathExists(const char* path);

// A path as UTF-8 text: on Windows converted from the ANSI code page; on Linux the bytes as
// given (they may not be valid UTF-8).
std::string PathAsUtf8(const char* path);

}  // namespace tandrel
