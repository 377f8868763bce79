// Both patch readers on any text, under the sanitizers. Fed in pieces of 1 to 16 bytes (chosen by
// the first byte), so that lines and line ends fall across pieces, the reader must read what it
// reads from the whole text, or refuse it alike; a refusal names a line the text has.
#include <algorithm>

#include "formats/patch_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tandrel;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto lines = static_cast<uint32_t>(std::count(text.begin(), text.end(), '\n') + 1);
    Patch whole;
    Patch pieces;
    PatchRefusal wholeRefusal;
    PatchRefusal piecesRefusal;
    const bool read = ReadPatch(text, whole, wholeRefusal);
    PatchReader reader(size);
    const size_t step = size ? data[0] % 16 + 1 : 1;
    for (size_t at = 0; at < size; at += step) {
        reader.Feed(text.substr(at, step));
    }
    const bool same = reader.Finish(pieces, piecesRefusal) == read && pieces == whole &&
                      piecesRefusal == wholeRefusal;
    // An IPS patch is known by its whole text only.
    if (!(same || wholeRefusal.reason.starts_with("IPS")) ||
        (!read && (wholeRefusal.line > lines || wholeRefusal.reason.empty()))) {
        __builtin_trap();
    }
    return 0;
}
