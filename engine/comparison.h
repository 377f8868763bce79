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
// mode), or nowhere when there is none. Returns silently, with the box or stream untouched,
// when a path is empty or a file cannot be opened or read. peImage keeps the first file's PE
// facts when it is an image.
void RunComparison(PeImageInfo& peImage, const char* firstPath, const char* secondPath,
                   ResultBox* resultBox, std::FILE* stream);

// The part of the path after its last separator found at index 1 or later; the whole path when
// there is none.
const char* FileNameFromPath(const char* path);

}  // namespace tandrel
