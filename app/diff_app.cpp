#include "app/diff_app.h"

#include <cstdio>
#include <string>

#include "app/command_line.h"
#include "platform/file_system.h"

namespace tandrel {
namespace {

// Opening the report with "w+" truncates it, so a report path that names one of the inputs is
// never opened: the input stays as it was and the report goes nowhere.
std::FILE* OpenReportStream(const std::string& path, const CommandLine& line) {
    if (path.empty()) {
        return nullptr;
    }
    if (IsSameFile(path.c_str(), line.first.c_str()) ||
        IsSameFile(path.c_str(), line.second.c_str())) {
        return nullptr;
    }
    return std::fopen(path.c_str(), "w+");
}

}  // namespace

int DiffApp::Run(const char* argumentText, const DialogRunner& runDialog) {
    const CommandLine line = SplitArgumentText(argumentText);
    if (!line.headless) {
        DiffDialog dialog;
        return runDialog(dialog);
    }
    std::FILE* stream = OpenReportStream(line.hasThird ? line.third : "file.txt", line);
    DiffDialog dialog;
    dialog.RunComparison(line.first.c_str(), line.second.c_str(), nullptr, stream);
    if (stream != nullptr) {
        std::fclose(stream);
    }
    return 0;
}

}  // namespace tandrel
