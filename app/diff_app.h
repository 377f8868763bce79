// The entry logic both platforms share: options, then the headless run or the dialog.
#pragma once

#include <functional>
#include <span>
#include <string>

#include "ui/diff_dialog.h"

namespace tandrel {

// What a run has to say besides its exit status; each entry prints it its own way.
struct AppMessages {
    std::string standardOutput;  // the help or the version
    std::string error;           // why the run failed: one line, "FILE: reason"
    std::string note;            // one line a run that did its job adds
    int endSignal = 0;           // the signal that stopped the run: the process ends by it
};

class DiffApp {
  public:
    // Runs the dialog modally and returns the exit status (1 when its window system cannot be
    // started).
    using DialogRunner = std::function<int(DiffDialog&)>;

    static constexpr int kDone = 0;
    static constexpr int kDiffer = 1;  // with --exit-code
    static constexpr int kFailed = 2;

    // Runs what the tokens ask for: Linux's arguments as given, or Windows' tokens as cut
    // (quoted). With two files or folders or more, a list of pairs, or an option that asks for a
    // result, compares headless, writing to the third file or "file.txt"; with --apply, patches;
    // otherwise runs the dialog. Returns the exit status.
    int Run(std::span<const std::string> tokens, bool quoted, const DialogRunner& runDialog,
            AppMessages& messages);
};

}  // namespace tandrel
