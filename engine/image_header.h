// The first file's PE header, read with positional reads before the comparison starts.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/pe_image.h"
#include "platform/input_file.h"

namespace tandrel {

// Reads what ParsePeHeader looks at into buffer (a zero-filled 16 MiB chunk buffer), which sees
// it as the file's first chunk, and returns its answer; failed tells a read that failed.
bool ReadImageHeader(InputFile& file, uint8_t* buffer, PeImageInfo& info, size_t& bytesRead,
                     bool& failed);

}  // namespace tandrel
