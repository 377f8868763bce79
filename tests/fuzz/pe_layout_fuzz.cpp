// The PE layout reader on any first file that the header reader takes for an image, within a
// full budget or one the input's parity spends midway: every read inside the file and the
// budget, every noise range after the one before and inside the file, named as FieldAt names its
// first byte; no crash, hang or leak (AddressSanitizer and the fuzzer's limits).
#include <cstring>

#include "engine/pe_layout.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tandrel::PeImageInfo info;
    if (!tandrel::ParsePeHeader(info, {data, size, 16777216}, size)) {
        return 0;
    }
    const size_t budget = size % 2 ? 16777216 : 512;
    size_t read = 0;
    bool kept = true;
    auto reader = [&](uint64_t at, void* out, size_t count) {
        kept = kept && at <= size && count <= size - at && (read += count) <= budget;
        return kept && std::memcpy(out, data + at, count) != nullptr;
    };
    tandrel::PeLayout layout;
    layout.Read(info, size, reader, budget);
    uint64_t end = 0;
    for (const tandrel::PeRange& range : layout.NoiseRanges()) {
        kept = kept && end <= range.begin && range.end <= size &&
               layout.FieldAt(range.begin).View() == layout.Name(range.name);
        end = range.end;
    }
    if (!kept) {
        __builtin_trap();
    }
    return 0;
}
