// File operations beyond reading the inputs: creating a new file, names of paths.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/trouble.h"

namespace tandrel {

// The character that separates folders in a path on this platform.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// Creates the file only if nothing of that name exists yet (see NewFile), writes size bytes to
// it and flushes them to the disk. Returns false with the reason ("FILE: reason"), leaving any
// existing file untouched, when creation fails; when the bytes cannot all be written (a full
// disk), the new file is removed, since a part would pass for the whole.
bool WriteNewFile(const char* path, const char* data, size_t size, Trouble& trouble);
inline bool WriteNewFile(const char* path, const char* data, size_t size) {
    Trouble ignored;
    return WriteNewFile(path, data, size, ignored);
}

// The last part of a path, after its last separator ('/'; on Windows also '\\' and a drive's
// ':'): the whole path when it has none.
std::string_view FileNameOf(std::string_view path);

// The folder that path names its last part in, by the same separators: "." for a bare name.
std::string FolderOfPath(const std::string& path);

// True when something of that name exists, a dangling link included.
bool PathExists(const char* path);

// A path as UTF-8 text: on Windows converted from the ANSI code page; on Linux the bytes as
// given (they may not be valid UTF-8).
std::string PathAsUtf8(const char* path);

}  // namespace tandrel
