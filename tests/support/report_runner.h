// Runs a file-mode comparison into a real text-mode report stream and returns the stored bytes.
#pragma once

#include <cstdio>
#include <functional>
#include <initializer_list>
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

// The report RunComparison writes in file mode, as the report file stores it; ok, when given,
// gets what RunComparison returned.
inline std::string FileModeReport(const std::string& first, const std::string& second,
                                  const TempDir& dir, bool* ok = nullptr) {
    const std::string reportPath = dir.File("report.txt");
    std::FILE* stream = std::fopen(reportPath.c_str(), "w+");
    PeImageInfo peImage;
    const bool done = RunComparison(peImage, first.c_str(), second.c_str(), nullptr, stream);
    std::fclose(stream);
    if (ok != nullptr) {
        *ok = done;
    }
    return ReadFileText(reportPath);
}

// Joins lines, each followed by lineEnd.
inline std::string Lines(std::initializer_list<std::string> lines,
                         const std::string& lineEnd = kFileLineEnd) {
    std::string text;
    for (const std::string& line : lines) {
        text += line + lineEnd;
    }
    return text;
}

// size zero bytes but for a one at each of the first count even positions: against zeros, count
// one-byte runs.
inline Bytes OneByteRuns(size_t count, size_t size) {
    Bytes bytes(size, 0);
    for (size_t k = 0; k < count; ++k) {
        bytes[2 * k] = 1;
    }
    return bytes;
}

// The run count whose report, as lengthWith(runs) measures it, is at most target and less than
// 100 characters short of it; that length goes into length. Each one-byte run adds a record of
// fewer than 100 characters, so single steps reach that window.
inline size_t RunsJustUnder(size_t target, const std::function<size_t(size_t)>& lengthWith,
                            size_t& length) {
    size_t runs = 3000 * (target - 50) / lengthWith(3000);
    while ((length = lengthWith(runs)) > target) {
        --runs;
    }
    for (; target - length >= 100; length = lengthWith(++runs)) {
    }
    return runs;
}

}  // namespace tandrel::test
