// The entry logic both platforms share: the choice between the headless run and the dialog.
#pragma once

#include <functional>

#include "ui/diff_dialog.h"

namespace tandrel {

class DiffApp {
  public:
    // Runs the dialog modally and returns the exit status (1 when its window system cannot be
    // started).
    using DialogRunner = std::function<int(DiffDialog&)>;

    // Compares headless when the argument text goes on after its first token, writing the report
    // to the third token or "file.txt"; otherwise runs the dialog. Returns the exit status.
    int Run(const char* argumentText, const DialogRunner& runDialog);
};

}  // namespace tandrel
