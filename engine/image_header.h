// The first file's PE header, read with positional reads before the comparison starts.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/pe_image.h"
#include "platform/input_file.h"

namespace tandrel {

// Reads the bytes the header reader looks at into buffer, a zero-filled 16 MiB chunk buffer,
// and has ParsePeHeader decide on them as on the file's first chunk: bytes past 16 MiB or past
// the file read as zeros. Returns whether the file is an image; false too when a read fails
// (failed set). bytesRead tells how much of the file was read.
bool ReadImageHeader(InputFile& file, uint8_t* buffer, PeImageInfo& info, size_t& bytesRead,
                     bool& failed);

}  // namespace tandrel
