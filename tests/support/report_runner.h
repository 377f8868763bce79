// Reports for tests: a file-mode comparison into a real text-mode report stream, and the report
// a plain byte-by-byte walk expects.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "engine/comparison.h"
#include "tests/support/temp_dir.h"

namespace tandrel::test {

// What "\n" becomes in a text-mode report file on this platform.
#ifdef _WIN32
inline constexpr const char* kFileLineEnd = "\r\n";
#else
inline constexpr const char* kFileLineEnd = "\n";
#endif

struct Compared {
    std::string report;
    bool done = false;  // what the comparison returned
};

// The two files compared into a text-mode report stream: the report as the report file stores
// it.
inline Compared FileModeReport(const std::string& first, const std::string& second,
                               const TempDir& dir) {
    ReportOutput output;
    output.stream = std::fopen(dir.File("report.txt").c_str(), "w+");
    PeImageInfo peImage;
    const bool done = CompareFiles(peImage, first.c_str(), second.c_str(), {}, output);
    std::fclose(output.stream);
    return {ReadFileText(dir.File("report.txt")), done};
}

// The two files compared into the text of a result box, which holds at most 299,999 characters;
// "(none)" when the comparison wrote nothing.
inline Compared BoxReport(const std::string& first, const std::string& second,
                          const ReportOptions& options) {
    ReportOutput output{.wholeText = true, .textLimit = 299999};
    PeImageInfo peImage;
    const bool done = CompareFiles(peImage, first.c_str(), second.c_str(), options, output);
    return {output.text != nullptr ? output.text : "(none)", done};
}

// Joins lines, each followed by lineEnd.
inline std::string Lines(const std::vector<std::string>& lines,
                         const std::string& lineEnd = kFileLineEnd) {
    std::string text;
    for (const std::string& line : lines) {
        text += line + lineEnd;
    }
    return text;
}

inline std::string Formatted(const char* format, unsigned long long value) {
    char text[24];
    std::snprintf(text, sizeof(text), format, value);
    return text;
}

// The report a plain byte-by-byte walk expects of two files, as lines: the oracle of the
// comparison fuzz target and of the engine tests. Runs end at each multiple of 16,777,216 (the
// chunk edge); RVAs come from the first section in table order whose raw data holds the offset.
inline std::vector<std::string> ReferenceReport(const std::string& firstName,
                                                const std::string& secondName, const std::string& a,
                                                const std::string& b, bool separated,
                                                const PeImageInfo* image) {
    std::vector<std::string> lines{"Comparing " + firstName, " and " + secondName};
    const size_t length = std::min(a.size(), b.size());
    if (image == nullptr) {
        lines.push_back("Warning: not a PE file!");
    }
    if (a.size() != b.size()) {
        lines.push_back("Different file size, comparing only minimum = " + std::to_string(length));
    }
    for (size_t i = 0, end; i < length; i = end) {
        if (a[i] == b[i]) {
            end = i + 1;
            continue;
        }
        for (end = i + 1; end < length && a[end] != b[end] && end % 16777216 != 0;) {
            ++end;
        }
        lines.insert(lines.end(), {"", "File offset = " + Formatted("%llX", i)});
        for (const SectionEntry& s :
             image != nullptr ? image->sections : std::vector<SectionEntry>{}) {
            const uint32_t at = uint32_t(i), rva = s.virtualAddress - s.pointerToRawData + at;
            if (s.pointerToRawData <= at && at < s.pointerToRawData + s.sizeOfRawData) {
                if (rva != 0) {
                    const uint64_t va =
                        image->is64 ? image->imageBase64 + rva : uint32_t(image->imageBase32 + rva);
                    lines.insert(lines.end(), {"RVA = " + Formatted("%llX", rva),
                                               "VA = " + Formatted("%llX", va)});
                }
                break;
            }
        }
        lines.push_back("Bytes Size (dec) = " + std::to_string(end - i));
        for (const std::string* file : {&a, &b}) {
            lines.push_back(file == &a ? "First file bytes: " : "Second file bytes: ");
            lines.emplace_back();
            for (size_t k = i; k < end; ++k) {
                lines.back() += Formatted(separated ? "%02X " : "%02X", uint8_t((*file)[k]));
            }
        }
    }
    return lines;
}

}  // namespace tandrel::test
