// Runs a file-mode comparison into a real text-mode report stream and returns the stored bytes.
#pragma once

#include <cstdio>
#include <string>

#include "engine/comparison.h"
#include "tests/support/temp_dir.h"

namespace tandrel::test {

// What "\n" becomes in a text-mode report file on this platform.
#ifdef _WIN32
inline constexpr const char* kFileLineEnd = "\r\n";
#else
inline constexpr const char* kFileLineEnd = "\n";
#endif

// The report RunComparison writes in file mode, as the report file stores it.
inline std::string FileModeReport(PeImageInfo& peImage, const std::string& first,
                                  const std::string& second, const TempDir& dir) {
    const std::string reportPath = dir.File("report.txt");
    std::FILE* stream = std::fopen(reportPath.c_str(), "w+");
    RunComparison(peImage, first.c_str(), second.c_str(), nullptr, stream);
    std::fclose(stream);
    return ReadFileText(reportPath);
}

inline std::string FileModeReport(const std::string& first, const std::string& second,
                                  const TempDir& dir) {
    PeImageInfo peImage;
    return FileModeReport(peImage, first, second, dir);
}

// Joins lines, each followed by lineEnd.
inline std::string Lines(std::initializer_list<std::string> lines,
                         const std::string& lineEnd = kFileLineEnd) {
    std::string text;
    for (const std::string& line : lines) {
        text += line;
        text += lineEnd;
    }
    return text;
}

}  // namespace tandrel::test
