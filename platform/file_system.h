// File operations beyond sequential reading: creating a new file, and telling whether two paths
// name one file.
#pragma once

#include <cstddef>

namespace tandrel {

// The character that separates folders in a path on this platform.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// The mode the headless report is opened with: text mode, truncating. On Linux write-only, so a
// pipe or FIFO as the report behaves as for any writer (a reader that goes away ends the run).
#ifdef _WIN32
inline constexpr const char* kReportOpenMode = "w+";
#else
inline constexpr const char* kReportOpenMode = "w";
#endif

// Creates the file only if nothing of that name exists yet and writes size bytes to it. Returns
// false, leaving any existing file untouched, when creation fails; when the bytes cannot all be
// written (a full disk), the new file is removed, since a part would pass for the whole.
bool WriteNewFile(const char* path, const char* data, size_t size);

// True when something of that name exists, a dangling link included.
bool PathExists(const char* path);

// True when both paths exist and name the same file, through links or different spellings; on
// Linux two nodes of one device name the same file too.
bool IsSameFile(const char* first, const char* second);

// True when path names the file this process has open as its standard output (/dev/stdout, or
// any path to that file). Only on Linux; always false on Windows.
bool IsStandardOutput(const char* path);

}  // namespace tandrel
