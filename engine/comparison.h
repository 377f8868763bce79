// The byte-by-byte comparison of two files and its report.
#pragma once

#include <cstddef>
#include <cstdio>

#include "engine/pe_image.h"

namespace tandrel {

// How the report is written. The defaults are the headless report's.
struct ReportOptions {
    // "\n", or "\r\n" for a box that breaks lines so: at most two characters.
    const char* lineEnd = "\n";
    // A space after every hex pair.
    bool spaceSeparator = true;
    // The header names the files without their folders.
    bool shortNames = false;
};

// Where the report goes: a stream that takes it as it grows (none: it is dropped), or one text
// built whole, for a box that takes its text at once.
struct ReportOutput {
    std::FILE* stream = nullptr;
    bool wholeText = false;
    // A whole text holds at most this many characters: the report is cut there and the
    // comparison stops. At most the report buffer's size less one.
    size_t textLimit = 0;
    // Set by a comparison to a whole text that got both files read: the text, zero-terminated,
    // in the report buffer (good until that buffer's next use); null otherwise.
    const char* text = nullptr;
};

// Compares the two files and writes the report to output. Writes nothing when a path is empty or
// a file cannot be opened or its first chunk read. peImage gets the first file's PE facts when it
// is an image. Returns true when every position the size line promises was compared and the
// stream took every byte written to it (a whole text cut at its limit is no failure); false when
// a file could not be opened or read, or ended before its size (the comparison ends after that
// chunk), or a write to the stream failed (the writing ends there).
bool CompareFiles(PeImageInfo& peImage, const char* firstPath, const char* secondPath,
                  const ReportOptions& options, ReportOutput& output);

}  // namespace tandrel
