#include "app/diff_app.h"

#include <cstdio>
#include <string>

#include "platform/file_system.h"

namespace tandrel {
namespace {

bool NamesAnInput(const std::string& path, const CommandLine& line) {
    return IsSameFile(path.c_str(), line.first.c_str()) ||
           IsSameFile(path.c_str(), line.second.c_str());
}

// Opens the report for writing; null when it cannot be opened or turns out to name an input. An
// input that does not exist yet may be named by the report path too: once the report exists, the
// same check sees it, and a report this run created for nothing goes again.
std::FILE* OpenReport(const std::string& path, const CommandLine& line) {
    const bool existed = PathExists(path.c_str());
    std::FILE* stream = std::fopen(path.c_str(), kReportOpenMode);
    if (stream != nullptr && NamesAnInput(path, line)) {
        std::fclose(stream);
        if (!existed) {
            std::remove(path.c_str());
        }
        return nullptr;
    }
    return stream;
}

}  // namespace

int DiffApp::Run(const CommandLine& line, const DialogRunner& runDialog) {
    DiffDialog dialog;
    if (!line.headless) {
        return runDialog(dialog);
    }
    // An empty report path names no file: the comparison runs and writes nowhere.
    const std::string reportPath = line.hasThird ? line.third : "file.txt";
    std::FILE* stream = nullptr;
    if (!reportPath.empty()) {
        // Opening the report truncates it, so a report path that names an input is never opened.
        if (NamesAnInput(reportPath, line)) {
            return kFailed;
        }
        // Standard output is written as the shell opened it: reopening it would truncate a file
        // opened for appending.
        stream = IsStandardOutput(reportPath.c_str()) ? stdout : OpenReport(reportPath, line);
        if (stream == nullptr) {
            return kFailed;
        }
    }
    const bool compared =
        dialog.RunComparison(line.first.c_str(), line.second.c_str(), nullptr, stream);
    // The status is decided only once the report is flushed and closed.
    const bool closed = stream == nullptr || std::fclose(stream) == 0;
    return compared && closed ? kDone : kFailed;
}

}  // namespace tandrel
