#include "app/diff_app.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "platform/file_system.h"

namespace tandrel {
namespace {

bool NamesAnInput(const std::string& path, const CommandLine& line) {
    return IsSameFile(path.c_str(), line.first.c_str()) ||
           IsSameFile(path.c_str(), line.second.c_str());
}

bool Exists(const std::string& path) {
    std::error_code ignored;
    return std::filesystem::exists(std::filesystem::symlink_status(path, ignored));
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
        // An input that does not exist yet may be named by the report path too: once the report
        // exists, the same check sees it. A report that this run created for nothing goes again.
        const bool existed = Exists(reportPath);
        stream = std::fopen(reportPath.c_str(), kReportOpenMode);
        if (stream == nullptr) {
            return kFailed;
        }
        if (NamesAnInput(reportPath, line)) {
            std::fclose(stream);
            if (!existed) {
                std::remove(reportPath.c_str());
            }
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
