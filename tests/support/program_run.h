// The real program, spawned with an argument list and no display, for the end-to-end tests and
// for comparing the dialog's text with the headless report.
#pragma once

#include <string>
#include <vector>

namespace tandrel::test {

struct ProgramOutcome {
    int status = -1;
    std::string output;  // stdout and stderr together
};

// Runs the program in folder with the arguments and without DISPLAY, WAYLAND_DISPLAY and
// QT_QPA_PLATFORM, and waits for it. extraEnvironment entries ("NAME=value") are added.
ProgramOutcome RunProgram(const std::string& folder, const std::vector<std::string>& arguments,
                          const std::vector<std::string>& extraEnvironment = {});

}  // namespace tandrel::test
