// The entry logic both platforms share: the choice between the headless run and the dialog.
#pragma once

#include <functional>

#include "app/command_line.h"
#include "ui/diff_dialog.h"

namespace tandrel {

class DiffApp {
  public:
    // Runs the dialog modally and returns the exit status (1 when its window system cannot be
    // started).
    using DialogRunner = std::function<int(DiffDialog&)>;

    // Exit statuses of a headless run.
    static constexpr int kDone = 0;
    static constexpr int kFailed = 2;

    // Compares headless when the line says so, writing the report to the third token or
    // "file.txt"; otherwise runs the dialog. Returns the exit status: for a headless run 0 when
    // every promised position was compared and the report was written, flushed and closed
    // without error, else 2.
    int Run(const CommandLine& line, const DialogRunner& runDialog);
};

}  // namespace tandrel
