// Applying a dif or 1337 patch to a file, or reverting it, only where every byte it changes
// holds what the patch expects: all are checked before anything is written, and TARGET itself is
// never written (see platform/replacement_file.h).
#pragma once

#include <optional>
#include <string>

#include "platform/replacement_file.h"
#include "platform/trouble.h"

namespace tandrel {

struct ApplyRequest {
    std::string patchPath;
    std::string targetPath;
    std::optional<std::string> outputPath;  // none: TARGET is replaced
    bool revert = false;                    // check the new bytes and write the old ones
    const ReplacementSeam* seam = nullptr;  // tests only
};

struct ApplyOutcome {
    int status = 0;   // 0: applied, or nothing to change; 2: refused or failed, nothing changed
    Trouble trouble;  // with status 2
    // With status 0 when every byte already held what the patch writes: "FILE: reason", for
    // one line on standard error after the program's name, as for trouble.
    std::string note;
};

ApplyOutcome ApplyPatch(const ApplyRequest& request);

}  // namespace tandrel
