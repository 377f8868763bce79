// Reports for tests: a file-mode comparison into a real text-mode report stream, and the report
// a plain byte-by-byte walk expects.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "engine/comparison.h"
#include "formats/opening_sink.h"
#include "formats/report_output.h"
#include "formats/text_report.h"
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

// The two files compared into a report file made as the program makes it: the report as the
// file stores it.
inline Compared FileModeReport(const std::string& first, const std::string& second,
                               const TempDir& dir, const ComparisonOptions& options = {}) {
    ReportOutput output = ReportOutput::ToFile(dir.File("report.txt"), false);
    TextReportSink sink(output, {});
    const bool done = CompareInto(first.c_str(), second.c_str(), options, sink, output).done;
    return {ReadFileText(dir.File("report.txt")), done};
}

// The two files compared into the text of a result box, which holds at most 299,999 characters;
// "(none)" when the comparison wrote nothing.
inline Compared BoxReport(const std::string& first, const std::string& second,
                          const TextReportStyle& style) {
    ReportOutput output = ReportOutput::ToText(299999);
    TextReportSink sink(output, style);
    const ComparisonOutcome outcome = CompareInto(first.c_str(), second.c_str(), {}, sink, output);
    return {outcome.began ? output.WholeText() : "(none)", outcome.done};
}

#ifndef _WIN32
// What a shell command prints; the test fails when it does not exit 0.
inline std::string CommandOutput(const std::string& command) {
    std::string text;
    std::FILE* pipe = ::popen(command.c_str(), "r");
    for (int c; pipe != nullptr && (c = std::fgetc(pipe)) != EOF;) {
        text += static_cast<char>(c);
    }
    EXPECT_TRUE(pipe != nullptr && ::pclose(pipe) == 0) << text;
    return text;
}
#endif

inline std::string Formatted(const char* format, unsigned long long value) {
    char text[24];
    std::snprintf(text, sizeof(text), format, value);
    return text;
}

// Keeps each record as "OFFSET LENGTH SECTION FIELD" (offset in hex, "null" for no name), and
// the summary.
struct RecordingSink : RecordSink {
    std::vector<std::string> records;
    ComparisonSummary summary;

    bool Begin(const ComparisonFacts&, Trouble&) override { return true; }
    bool Record(const DiffRecord& r) override {
        const auto name = [](std::string_view n) { return n.data() ? std::string(n) : "null"; };
        records.push_back(Formatted("%llX ", r.offset) + std::to_string(r.length) + " " +
                          name(r.section) + " " + name(r.field));
        return true;
    }
    bool End(const ComparisonSummary& s, Trouble&) override {
        summary = s;
        return true;
    }
};

// Joins lines, each followed by lineEnd.
inline std::string Lines(const std::vector<std::string>& lines,
                         const std::string& lineEnd = kFileLineEnd) {
    std::string text;
    for (const std::string& line : lines) {
        text += line + lineEnd;
    }
    return text;
}

// A run a plain byte-by-byte walk finds: its index in the compared bytes, its length, and the
// RVA and VA of its first file offset (0 and 0 outside every section).
struct ReferenceRun {
    size_t at;
    size_t length;
    uint32_t rva;
    uint64_t va;
};

// The runs of a and b, the compared bytes of each file (their common length is compared): the
// oracle of the engine tests and the fuzz target. Runs end at each multiple of 16,777,216 from
// the first compared byte (the chunk edge); RVAs come from the first section in table order whose
// raw data holds the first file's offset, firstOffset + at.
inline std::vector<ReferenceRun> ReferenceRuns(const std::string& a, const std::string& b,
                                               const PeImageInfo* image, uint64_t firstOffset = 0) {
    std::vector<ReferenceRun> runs;
    const size_t length = std::min(a.size(), b.size());
    for (size_t i = 0, end; i < length; i = end) {
        if (a[i] == b[i]) {
            end = i + 1;
            continue;
        }
        for (end = i + 1; end < length && a[end] != b[end] && end % 16777216 != 0;) {
            ++end;
        }
        ReferenceRun run = {i, end - i, 0, 0};
        for (const SectionEntry& s :
             image != nullptr ? image->sections : std::vector<SectionEntry>{}) {
            const auto at = uint32_t(firstOffset + i);
            if (s.pointerToRawData <= at && at < s.pointerToRawData + s.sizeOfRawData) {
                run.rva = s.virtualAddress - s.pointerToRawData + at;
                run.va = image->is64 ? image->imageBase64 + run.rva
                                     : uint32_t(image->imageBase32 + run.rva);
                break;
            }
        }
        runs.push_back(run);
    }
    return runs;
}

// The report the reference walk expects of two whole files, as lines.
inline std::vector<std::string> ReferenceReport(const std::string& firstName,
                                                const std::string& secondName, const std::string& a,
                                                const std::string& b, bool separated,
                                                const PeImageInfo* image) {
    std::vector<std::string> lines{"Comparing " + firstName, " and " + secondName};
    if (image == nullptr) {
        lines.push_back("Warning: not a PE file!");
    }
    if (a.size() != b.size()) {
        lines.push_back("Different file size, comparing only minimum = " +
                        std::to_string(std::min(a.size(), b.size())));
    }
    for (const ReferenceRun& run : ReferenceRuns(a, b, image)) {
        lines.insert(lines.end(), {"", "File offset = " + Formatted("%llX", run.at)});
        if (run.rva != 0) {
            lines.insert(lines.end(), {"RVA = " + Formatted("%llX", run.rva),
                                       "VA = " + Formatted("%llX", run.va)});
        }
        lines.push_back("Bytes Size (dec) = " + std::to_string(run.length));
        for (const std::string* file : {&a, &b}) {
            lines.push_back(file == &a ? "First file bytes: " : "Second file bytes: ");
            lines.emplace_back();
            for (size_t k = run.at; k < run.at + run.length; ++k) {
                lines.back() += Formatted(separated ? "%02X " : "%02X", uint8_t((*file)[k]));
            }
        }
    }
    return lines;
}

}  // namespace tandrel::test
