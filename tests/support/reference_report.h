// The report a plain byte-by-byte walk expects of two files, as lines: the oracle of the
// comparison fuzz target and of the engine tests. Runs end at each multiple of 16,777,216 (the
// chunk edge); RVAs come from the first section in table order whose raw data holds the offset.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "engine/pe_image.h"

namespace tandrel::test {

using ReportLines = std::vector<std::string>;

inline std::string Formatted(const char* format, unsigned long long value) {
    char text[24];
    std::snprintf(text, sizeof(text), format, value);
    return text;
}

inline ReportLines ReferenceReport(const std::string& firstName, const std::string& secondName,
                                   const std::string& a, const std::string& b, bool separated,
                                   const PeImageInfo* image) {
    ReportLines lines{"Comparing " + firstName, " and " + secondName};
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

// The text cut at each line end; false in ok when it does not end with one.
inline ReportLines SplitLines(const std::string& text, const std::string& lineEnd, bool& ok) {
    ReportLines lines;
    size_t at = 0;
    for (size_t end; (end = text.find(lineEnd, at)) != std::string::npos;
         at = end + lineEnd.size()) {
        lines.push_back(text.substr(at, end - at));
    }
    ok = at == text.size();
    return lines;
}

}  // namespace tandrel::test
