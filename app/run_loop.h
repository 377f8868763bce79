// The headless run: one pair, two folders, or a list of pairs, compared into one report opened
// once, with the progress line and Ctrl-C ending the run at a whole record.
#pragma once

#include <string>

#include "app/options.h"

namespace tandrel {

struct RunResult {
    int status = 0;
    std::string error;  // one line, "FILE: reason"
    std::string note;   // one line a run that did its job adds
    int endSignal = 0;  // the signal that stopped the run: the process ends by it
};

struct RunInputs {
    std::string first;  // empty with a list of pairs
    std::string second;
    std::string report;  // empty: no file is written
};

RunResult RunHeadless(const Options& options, const RunInputs& inputs);

}  // namespace tandrel
