// The byte-by-byte comparison of two files and its report.
#pragma once

#include <cstddef>
#include <cstdio>

#include "engine/chunk_pair.h"
#include "engine/pe_image.h"
#include "engine/result_box.h"

namespace tandrel {

// Compares the two files and writes the report. With a result box (dialog mode) the box gets
// the whole text, built in memory and set once; otherwise the report goes to the stream (file
// mode), or nowhere when there is none. Leaves the box or stream untouched when a path is empty
// or a file cannot be opened or its first chunk read. peImage keeps the first file's PE facts
// when it is an image. Returns true when every position the size line promises was compared
// and the stream took every byte written to it (the box's stop at its limit is no failure);
// false when a file could not be opened or read, or ended before its size (the comparison ends
// after that chunk), or a write to the stream failed (the writing ends there).
bool RunComparison(PeImageInfo& peImage, const char* firstPath, const char* secondPath,
                   ResultBox* resultBox, std::FILE* stream);

}  // namespace tandrel
