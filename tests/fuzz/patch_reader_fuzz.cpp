// Both patch readers on any text, under the sanitizers: a refusal names a line the text has; what
// is accepted holds each module's records in address order, one an address, each from a line the
// text has.
#include <algorithm>

#include "formats/patch_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tandrel;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto lines = static_cast<uint32_t>(std::count(text.begin(), text.end(), '\n') + 1);
    Patch patch;
    PatchRefusal refusal;
    const bool read = ReadPatch(text, patch, refusal);
    bool sound = read || (refusal.line <= lines && !refusal.reason.empty());
    for (const PatchModule& module : read ? patch.modules : std::vector<PatchModule>()) {
        for (size_t k = 0; k < module.changes.size(); ++k) {
            const ByteChange& c = module.changes[k];
            sound = sound && c.line >= 1 && c.line <= lines &&
                    (k == 0 || module.changes[k - 1].address < c.address);
        }
    }
    if (!sound) {
        __builtin_trap();
    }
    return 0;
}
